#include "DbaseFiles.h"

#include <cctype>

#include "Errors.h"

namespace kx4::dbase {

std::string findCompanion(const TablePath& table, const std::string& extension) {
    const std::string stem = toUpperAscii(stemOf(table.fileName));
    const std::string ext = toUpperAscii(extension);
    for (const auto& name :
         fileSystem().listDirectory(table.directory.empty() ? "." : table.directory))
        if (toUpperAscii(stemOf(name)) == stem && toUpperAscii(extensionOf(name)) == ext)
            return joinPath(table.directory, name);
    return {};
}

std::string companionPath(const TablePath& table, const std::string& extension) {
    std::string existing = findCompanion(table, extension);
    if (!existing.empty()) return existing;
    const std::string dataExt = extensionOf(table.fileName);
    const bool lower = dataExt.size() > 1 && dataExt[1] >= 'a' && dataExt[1] <= 'z';
    std::string ext = extension;
    if (lower)
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return joinPath(table.directory, stemOf(table.fileName) + ext);
}

std::unique_ptr<File> openLockedTable(const std::string& path, bool exclusive) {
    FileSystem& fs = fileSystem();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!fs.exists(path))
            throwEngineError(DBIERR_NOSUCHTABLE, "Table " + path + " does not exist");
        auto file = fs.open(path, exclusive ? OpenMode::ReadWrite : OpenMode::Read);
        if (!file->tryLock(exclusive ? LockMode::Exclusive : LockMode::Shared))
            throwEngineError(DBIERR_TABLEINUSE,
                             "Table " + path + " is in use by another program" +
                                 (exclusive ? "; it cannot be opened exclusively" : ""));
        // A rename may have put a new file in place between open and lock.
        if (file->identity() == fs.identity(path)) return file;
    }
    throwEngineError(DBIERR_TABLEINUSE,
                     "Table " + path + " was replaced by another program while it was opened");
}

}  // namespace kx4::dbase
