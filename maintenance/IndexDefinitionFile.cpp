#include "IndexDefinitionFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include "Errors.h"

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

// Writes `bytes` under a temporary name and renames it over `path`.
void replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) cannotWrite(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        cannotWrite(path, reason);
    }
    if (!file.commit()) cannotWrite(path, file.errorString());
}

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxDefinitionFileBytes) cannotOpen(path);
    QByteArray bytes = file.read(kMaxDefinitionFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxDefinitionFileBytes)
        cannotOpen(path);
    return bytes;
}

}  // namespace

QString indexDefinitionFilePath(const QString& aliasDirectory, const QString& tableFileName) {
    QString directory = aliasDirectory;
    if (!directory.endsWith(u'/')) directory += u'/';
    return directory + tableFileName + kFileSuffix;
}

void writeIndexDefinitionFile(const QString& path, const QStringList& definitions) {
    QString text;
    for (const QString& line : definitions) text += line + QStringLiteral("\r\n");
    QStringEncoder encode(QStringConverter::System);
    const QByteArray bytes = encode(text);
    if (encode.hasError()) cannotWrite(path, QStringLiteral("Zeichen außerhalb der Codepage"));

    if (QFile::exists(path)) replaceFile(path + kBackupSuffix, readSmallFile(path));
    replaceFile(path, bytes);
}

QStringList readIndexDefinitionFile(const QString& path) {
    QStringDecoder decode(QStringConverter::System);
    QString text = decode(readSmallFile(path));
    if (text.endsWith(u'\n')) text.chop(1);
    if (text.endsWith(u'\r')) text.chop(1);
    if (text.isEmpty()) return {};
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r')) line.chop(1);
    return lines;
}

}  // namespace kx4
