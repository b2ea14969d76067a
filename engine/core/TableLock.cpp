#include "engine/core/TableLock.h"

#include "engine/core/Errors.h"
#include "engine/core/FileTransaction.h"

namespace kx4 {

std::unique_ptr<File> openLockedTable(FileSystem& fs, const std::string& path, bool exclusive,
                                      const CompanionTest& isCompanion) {
    FileTransaction::recover(fs, path, isCompanion);
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

}  // namespace kx4
