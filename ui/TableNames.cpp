#include "ui/TableNames.h"

#include "ui/Prompts.h"

namespace kx4 {

bool staysInsideAlias(const QString& name) {
    return !name.contains(u'/') && !name.contains(u'\\') && name != u"." && name != u".." &&
           name == name.trimmed();
}

void refuseTableName(const QString& name) {
    MessageDlg(QStringLiteral("Ungültiger Tabellen-Name: \"%1\"\rDer Name darf kein Verzeichnis "
                              "und keine Leerzeichen am Anfang oder Ende enthalten!")
                   .arg(name),
               TMsgDlgType::mtError, mbOK);
}

}  // namespace kx4
