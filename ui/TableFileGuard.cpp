#include "ui/TableFileGuard.h"

#include <QFileInfo>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TableFormat.h"
#include "ui/AliasPath.h"
#include "ui/Prompts.h"

namespace kx4 {

namespace {

bool sameFileName(const std::string& a, const std::string& b) {
    return toUpperAscii(a) == toUpperAscii(b);
}

// The table of `directory` whose files include `fileName`.
std::optional<std::string> owningTableIn(const std::string& directory, const std::string& fileName,
                                         FileSystem& fs) {
    // No directory, no table; writing there fails on its own.
    if (!fs.exists(directory)) return std::nullopt;
    if (TableFormat* format = formatByExtension(fileName);
        format && format->isTable(TablePath{directory, fileName}, fs))
        return fileName;
    for (const std::string& name : fs.listDirectory(directory)) {
        TableFormat* format = formatByExtension(name);
        const TablePath table{directory, name};
        if (!format || !format->isTable(table, fs)) continue;
        for (const std::string& file : format->companionFiles(table, fs))
            if (sameFileName(fileNameOf(file), fileName)) return name;
    }
    return std::nullopt;
}

std::optional<QString> owningTable(const QFileInfo& file, FileSystem& fs) {
    const std::optional<std::string> table =
        owningTableIn(AnsiToOem(file.absolutePath()), AnsiToOem(file.fileName()), fs);
    if (!table) return std::nullopt;
    return OemToAnsi(*table);
}

}  // namespace

std::optional<QString> tableOwningFile(const QString& path, FileSystem& fs) {
    const QFileInfo file(path);
    if (std::optional<QString> table = owningTable(file, fs)) return table;
    // A link leads to the file it names.
    if (file.isSymLink() || file.exists()) {
        const QString target = file.canonicalFilePath();
        if (!target.isEmpty() && target != file.absoluteFilePath())
            return owningTable(QFileInfo(target), fs);
    }
    return std::nullopt;
}

void refuseTableFile(const QString& path, FileSystem& fs) {
    if (path.trimmed().isEmpty()) throw EInOutError("Es muss ein Datei-Name angegeben werden");
    if (const std::optional<QString> table = tableOwningFile(path, fs))
        throw EInOutError(QStringLiteral("Die Datei \"%1\" gehört zur Tabelle %2 und wird "
                                         "nicht überschrieben")
                              .arg(path, *table)
                              .toStdString());
}

bool mayWriteFile(const QString& path, FileSystem& fs) {
    refuseTableFile(path, fs);
    if (!fs.exists(AnsiToOem(path))) return true;
    const QString question =
        QStringLiteral("Die Datei \"%1\" existiert bereits!\rWollen Sie die Datei überschreiben?")
            .arg(path);
    return MessageDlg(question, TMsgDlgType::mtConfirmation, mbYes | mbNo) == mrYes;
}

}  // namespace kx4
