#pragma once
// Crash-safe replacement of a set of files in one directory.
//
// New versions are written under temporary names beside the old files. commit() flushes them,
// records the planned renames in a journal (written aside and renamed into place), flushes the
// directory, performs the renames and removals and finally deletes the journal. A crash before the
// journal exists leaves the old files; a crash after it is completed by recover(), which every
// open of a table runs first. So readers see either all old files or all new ones.
#include <memory>
#include <string>
#include <vector>

#include "FileSystem.h"

namespace kx4 {

class FileTransaction {
public:
    // `tableFile` is the data file the set belongs to; its name keys the journal.
    explicit FileTransaction(const std::string& tableFile);
    ~FileTransaction();  // without commit: removes every staged file
    FileTransaction(const FileTransaction&) = delete;
    FileTransaction& operator=(const FileTransaction&) = delete;

    // Creates and returns the temporary file that will replace (or create) `target`.
    File& stage(const std::string& target);
    // `target` is removed when the transaction commits (a dropped index, a file the new table
    // no longer has).
    void removeOnCommit(const std::string& target);
    bool isStaged(const std::string& target) const;

    void commit();
    bool committed() const { return committed_; }

    // Finishes or discards what an interrupted transaction left for this table.
    static void recover(const std::string& tableFile);
    static std::string journalPath(const std::string& tableFile);

private:
    struct Staged {
        std::string target;
        std::string temp;
        std::unique_ptr<File> file;
    };
    std::string tableFile_;
    std::vector<Staged> staged_;
    std::vector<std::string> removals_;
    bool committed_ = false;
};

}  // namespace kx4
