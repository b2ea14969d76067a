#include "AliasPath.h"

#include "Dbi.h"
#include "Session.h"

namespace kx4 {

namespace {
constexpr int kAliasNameLimit = 31;
}

std::string AnsiToOem(const QString& text) { return text.toStdString(); }

QString OemToAnsi(const std::string& text) { return QString::fromStdString(text); }

QString GetAliasPath(const QString& alias) {
    const std::string name = AnsiToOem(alias.left(kAliasNameLimit));
    DBDesc desc;
    Check(DbiGetDatabaseDesc(name.c_str(), &desc));
    if (QString::fromLatin1(desc.szDbType).compare("STANDARD", Qt::CaseInsensitive) == 0)
        return OemToAnsi(desc.szPhyName);
    Session().Open();
    return QString::fromStdString(Session().alias(name).param("SERVER NAME"));
}

}  // namespace kx4
