#pragma once
// Crash-safe replacement of a set of files in one directory.
//
// New versions are written under temporary names beside the old files. commit() flushes them,
// records the planned renames in a journal (written aside and renamed into place), flushes the
// directory, performs the renames and removals and finally deletes the journal. A crash before the
// journal exists leaves the old files; a crash after it is completed by recover(), which every
// open of a table runs first. So readers see either all old files or all new ones.
//
// Temporary files and the journal are named after the table's full file name
// ("KUNDEN.DB.MB.kx4tmp", "KUNDEN.DB.kx4journal"), so that no other table of the directory
// (KUNDEN.DBF, kunden.db, KUNDEN.X.DB) takes them for its own.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/FileSystem.h"

namespace kx4 {

class EDBEngineError;

// Whether a plain file name of the table's directory is one of the table's companion files
// (its blob file, an index): the only files besides its data file a journal may name.
using CompanionTest = std::function<bool(const std::string& fileName)>;

class FileTransaction {
  public:
    // `tableFile` is the data file the set belongs to; its name keys the journal. Every file
    // of the transaction is written, renamed and removed through `fs`.
    FileTransaction(FileSystem& fs, const std::string& tableFile);
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
    FileSystem& fileSystem() const { return fs_; }

    // Finishes or discards what an interrupted transaction left for this table. Acts only while
    // it holds the table exclusively (or, for a table a crash left without its data file, the
    // journal), so that a change another process is making stays untouched. A journal is
    // carried out only when every name in it is the table's own (data file, a companion, a
    // temporary file of the table); any other raises and leaves every file as it is.
    static void recover(FileSystem& fs, const std::string& tableFile,
                        const CompanionTest& isCompanion);
    static std::string journalPath(const std::string& tableFile);
    // A temporary file of the table: "<table file name>.<tag>.kx4tmp", tag without dots.
    static std::string temporaryPath(const std::string& tableFile, const std::string& tag);
    // Whether `name` (a plain file name) is a temporary file of the table named `tableFileName`.
    static bool isTemporaryOf(const std::string& tableFileName, const std::string& name);

    struct JournalEntry {
        char kind;  // 'R' rename temp over target, 'D' delete target
        std::string temp;
        std::string target;
    };

  private:
    void finishAfterAFailure(const std::vector<JournalEntry>& entries,
                             const EDBEngineError& failure);
    struct Staged {
        std::string target;
        std::string temp;
        std::unique_ptr<File> file;
    };
    FileSystem& fs_;
    std::string tableFile_;
    std::vector<Staged> staged_;
    std::vector<std::string> removals_;
    bool committed_ = false;
};

}  // namespace kx4
