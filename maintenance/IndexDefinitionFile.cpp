#include "maintenance/IndexDefinitionFile.h"

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TextCodec.h"
#include "ui/AliasPath.h"
#include "ui/TableFileGuard.h"

namespace kx4 {

namespace {

// A definition file holds a few short lines; anything much larger is not one.
constexpr qint64 kMaxDefinitionFileBytes = 1 << 20;
const QString kFileSuffix = QStringLiteral(".Index.txt");
const QString kBackupSuffix = QStringLiteral(".bak");

[[noreturn]] void cannotOpen(const QString& path) {
    throw EInOutError(
        QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(path).toStdString());
}

[[noreturn]] void cannotWrite(const QString& path, const QString& reason) {
    throw EInOutError(QStringLiteral("Datei %1 kann nicht geschrieben werden: %2")
                          .arg(path, reason)
                          .toStdString());
}

// The file is written in the Windows ANSI code page, as the tables' own texts are by default.
const TextCodec& windowsAnsi() {
    static const TextCodec codec(1252);
    return codec;
}

// The file system takes the path's bytes, which a directory named in an old code page keeps.
std::string bytesOf(const QString& path) { return AnsiToOem(path); }

void replaceFile(const QString& path, const QByteArray& bytes, FileSystem& fs) {
    try {
        replaceWholeFile(bytesOf(path), bytes.constData(), static_cast<std::size_t>(bytes.size()),
                         fs);
    } catch (const std::exception& e) {
        cannotWrite(path, QString::fromStdString(e.what()));
    }
}

QByteArray readSmallFile(const QString& path, FileSystem& fs) {
    try {
        auto file = fs.open(bytesOf(path), OpenMode::Read);
        const auto bytes = readWholeFile(*file, kMaxDefinitionFileBytes);
        return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    } catch (const std::exception&) {
        cannotOpen(path);
    }
}

}  // namespace

QString indexDefinitionFilePath(const QString& aliasDirectory, const QString& tableFileName) {
    QString directory = aliasDirectory;
    if (!directory.endsWith(u'/')) directory += u'/';
    return directory + tableFileName + kFileSuffix;
}

void writeIndexDefinitionFile(const QString& path, const QStringList& definitions, FileSystem& fs) {
    // Neither the file nor its backup may take the place of a table's file.
    refuseTableFile(path, fs);
    refuseTableFile(path + kBackupSuffix, fs);
    QString text;
    for (const QString& line : definitions) text += line + QStringLiteral("\r\n");
    const std::string utf8 = text.toStdString();
    if (!windowsAnsi().canEncode(utf8))
        cannotWrite(path, QStringLiteral("Zeichen außerhalb der Codepage 1252"));
    const std::string ansi = windowsAnsi().fromUtf8(utf8);
    const QByteArray bytes(ansi.data(), static_cast<qsizetype>(ansi.size()));

    if (fs.exists(bytesOf(path))) replaceFile(path + kBackupSuffix, readSmallFile(path, fs), fs);
    replaceFile(path, bytes, fs);
}

QStringList readIndexDefinitionFile(const QString& path, FileSystem& fs) {
    const QByteArray bytes = readSmallFile(path, fs);
    QString text = QString::fromStdString(
        windowsAnsi().toUtf8(std::string_view(bytes.constData(), bytes.size())));
    if (text.endsWith(u'\n')) text.chop(1);
    if (text.endsWith(u'\r')) text.chop(1);
    if (text.isEmpty()) return {};
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r')) line.chop(1);
    return lines;
}

}  // namespace kx4
