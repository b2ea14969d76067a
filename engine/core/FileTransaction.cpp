#include "engine/core/FileTransaction.h"

#include <sstream>

#include "engine/core/Errors.h"

namespace kx4 {

namespace {

using JournalEntry = FileTransaction::JournalEntry;

constexpr char kTempSuffix[] = ".kx4tmp";
constexpr char kJournalSuffix[] = ".kx4journal";
constexpr char kJournalHeader[] = "KX4JOURNAL 1";
constexpr std::uint64_t kJournalLimit = 1 << 20;

std::string serialise(const std::vector<JournalEntry>& entries) {
    std::string out = std::string(kJournalHeader) + "\n";
    for (const auto& e : entries) {
        out += e.kind;
        out += '\t';
        out += e.kind == 'R' ? e.temp + "\t" + e.target : e.target;
        out += '\n';
    }
    out += "END\n";
    return out;
}

// A journal without its END line was never renamed into place complete; treat it as absent.
bool parse(const std::string& text, std::vector<JournalEntry>& entries) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kJournalHeader) return false;
    while (std::getline(in, line)) {
        if (line == "END") return true;
        if (line.size() < 3 || line[1] != '\t') return false;
        const std::string rest = line.substr(2);
        if (line[0] == 'R') {
            const auto tab = rest.find('\t');
            if (tab == std::string::npos) return false;
            entries.push_back({'R', rest.substr(0, tab), rest.substr(tab + 1)});
        } else if (line[0] == 'D') {
            entries.push_back({'D', {}, rest});
        } else {
            return false;
        }
    }
    return false;
}

// Carries out the journal. A rename whose temporary file is gone was done before an
// interruption; `strict` (the committing process itself) treats that as the error it is.
void apply(FileSystem& fs, const std::string& dir, const std::vector<JournalEntry>& entries,
           bool strict) {
    for (const auto& e : entries) {
        if (e.kind == 'R') {
            const std::string temp = joinPath(dir, e.temp);
            if (strict || fs.exists(temp)) fs.rename(temp, joinPath(dir, e.target));
        } else {
            fs.remove(joinPath(dir, e.target));
        }
    }
    fs.syncDirectory(dir);
}

std::string tagOf(const std::string& target) {
    const std::string ext = extensionOf(fileNameOf(target));
    return ext.empty() ? "file" : ext.substr(1);
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

// The first name of `entries` that is not the table's own, or "" when all are.
std::string foreignName(const std::vector<JournalEntry>& entries, const std::string& tableFile,
                        const CompanionTest& isCompanion) {
    const std::string table = fileNameOf(tableFile);
    for (const auto& e : entries) {
        if (!isPlainName(e.target)) return e.target;
        if (e.kind == 'D') {
            if (!isCompanion(e.target)) return e.target;
            continue;
        }
        if (e.target != table && !isCompanion(e.target)) return e.target;
        if (e.temp != fileNameOf(FileTransaction::temporaryPath(table, tagOf(e.target))))
            return e.temp;
    }
    return {};
}

// Reads the journal and checks that it names only files of the table; raises otherwise.
std::vector<JournalEntry> readJournal(File& journal, const std::string& tableFile,
                                      const CompanionTest& isCompanion) {
    const auto bytes = readWholeFile(journal, kJournalLimit);
    std::vector<JournalEntry> entries;
    const auto refuse = [&](const std::string& why) {
        throwEngineError(DBIERR_FILECORRUPT,
                         "The journal " + journal.path() + " of table " + tableFile + " " + why +
                             "; it was not carried out. Remove it to open the table as it is");
    };
    if (!parse(std::string(bytes.begin(), bytes.end()), entries)) refuse("is damaged");
    if (const auto name = foreignName(entries, tableFile, isCompanion); !name.empty())
        refuse("names " + name + ", which is not a file of the table");
    return entries;
}

std::vector<std::string> temporariesOf(FileSystem& fs, const std::string& tableFile) {
    const std::string table = fileNameOf(tableFile);
    std::vector<std::string> names;
    for (const auto& name : fs.listDirectory(directoryOf(tableFile)))
        if (FileTransaction::isTemporaryOf(table, name)) names.push_back(name);
    return names;
}

// Holds `path` exclusively, or returns null when another process holds it or it was replaced
// between open and lock.
std::unique_ptr<File> holdExclusively(FileSystem& fs, const std::string& path) {
    auto file = fs.open(path, OpenMode::ReadWrite);
    if (!file->tryLock(LockMode::Exclusive) || file->identity() != fs.identity(path))
        return nullptr;
    return file;
}

// For a process that may not change the table: its old files are complete unless a journal
// that nobody is carrying out says that the new ones are half in place.
void refuseAnInterruptedChange(FileSystem& fs, const std::string& tableFile) {
    std::unique_ptr<File> journal;
    try {
        journal = fs.open(FileTransaction::journalPath(tableFile), OpenMode::Read);
    } catch (const EDBEngineError& e) {
        if (e.errorCode() == DBIERR_NOSUCHFILE) return;
        throw;
    }
    if (!journal->tryLock(LockMode::Shared)) return;  // its writer is at work
    throwEngineError(DBIERR_OSEACCES, "an interrupted change of " + fileNameOf(tableFile) +
                                          " must be finished by a user with write access");
}

}  // namespace

FileTransaction::FileTransaction(FileSystem& fs, const std::string& tableFile)
    : fs_(fs), tableFile_(tableFile) {}

FileTransaction::~FileTransaction() {
    if (committed_) return;
    for (auto& s : staged_) {
        s.file.reset();
        try {
            fs_.remove(s.temp);
        } catch (...) {
            // Leftover temporary files are removed by the next recover().
        }
    }
}

std::string FileTransaction::journalPath(const std::string& tableFile) {
    return tableFile + kJournalSuffix;
}

std::string FileTransaction::temporaryPath(const std::string& tableFile, const std::string& tag) {
    return tableFile + "." + tag + kTempSuffix;
}

bool FileTransaction::isTemporaryOf(const std::string& tableFileName, const std::string& name) {
    const std::size_t prefix = tableFileName.size() + 1, suffix = sizeof kTempSuffix - 1;
    if (name.size() <= prefix + suffix || !name.starts_with(tableFileName + ".") ||
        !name.ends_with(kTempSuffix))
        return false;
    return name.find('.', prefix) == name.size() - suffix;  // the tag has no dot of its own
}

File& FileTransaction::stage(const std::string& target) {
    for (auto& s : staged_)
        if (s.target == target) return *s.file;
    Staged s;
    s.target = target;
    s.temp = temporaryPath(tableFile_, tagOf(target));
    s.file = createAfresh(fs_, s.temp);
    // Whoever could use the old file can use the new one, and nobody else: a new companion is
    // accessible like the table's data file.
    s.file->adoptAccessOf(fs_.exists(target) ? target : tableFile_);
    staged_.push_back(std::move(s));
    return *staged_.back().file;
}

bool FileTransaction::isStaged(const std::string& target) const {
    for (const auto& s : staged_)
        if (s.target == target) return true;
    return false;
}

void FileTransaction::removeOnCommit(const std::string& target) {
    if (!isStaged(target)) removals_.push_back(target);
}

void FileTransaction::commit() {
    FileSystem& fs = fs_;
    const std::string dir = directoryOf(tableFile_);
    std::vector<JournalEntry> entries;
    std::unique_ptr<File> newDataFile;
    for (auto& s : staged_) {
        s.file->sync();
        // Another program may have removed or replaced what we wrote; then there is nothing
        // sound to put in place.
        if (s.file->identity() != fs.identity(s.temp))
            throwEngineError(DBIERR_WRITEERR, "Cannot save " + s.target + ": its new version " +
                                                  s.temp +
                                                  " was removed by another program. The table "
                                                  "was not changed");
        if (s.target == tableFile_) {
            // Hold the new data file exclusively until every file is in place, so that nobody
            // opens the new table while its companions are still the old ones.
            newDataFile = std::move(s.file);
            newDataFile->tryLock(LockMode::Exclusive);
        } else {
            s.file.reset();
        }
        entries.push_back({'R', fileNameOf(s.temp), fileNameOf(s.target)});
    }
    for (const auto& r : removals_)
        if (fs.exists(r)) entries.push_back({'D', {}, fileNameOf(r)});
    // Past the journal there is no way back: every file must be replaceable before.
    for (const auto& s : staged_) fs.checkReplaceable(s.target);
    for (const auto& r : removals_) fs.checkReplaceable(r);

    // The journal stays locked while it is carried out: a recovery that finds it unlocked knows
    // that its writer is gone.
    const std::string journal = journalPath(tableFile_);
    const std::string journalTemp = temporaryPath(tableFile_, "journal");
    const std::string text = serialise(entries);
    auto journalFile = createAfresh(fs, journalTemp);
    journalFile->adoptAccessOf(tableFile_);
    journalFile->tryLock(LockMode::Exclusive);
    journalFile->writeAt(0, text.data(), text.size());
    journalFile->sync();
    fs.rename(journalTemp, journal);
    committed_ =
        true;  // from here on the new files win: whoever opens the table next completes them

    try {
        fs.syncDirectory(dir);
        apply(fs, dir, entries, true);
        fs.remove(journal);
        fs.syncDirectory(dir);
    } catch (const EDBEngineError& e) {
        finishAfterAFailure(entries, e);
    }
}

// The change is saved (the journal is in place): an error now must not report it as lost. One
// more attempt at once; otherwise the next open of the table completes it, and says so.
void FileTransaction::finishAfterAFailure(const std::vector<JournalEntry>& entries,
                                          const EDBEngineError& failure) {
    FileSystem& fs = fs_;
    const std::string dir = directoryOf(tableFile_);
    try {
        apply(fs, dir, entries, false);
        fs.remove(journalPath(tableFile_));
        fs.syncDirectory(dir);
    } catch (const EDBEngineError&) {
        throwEngineError(failure.errorCode(),
                         fileNameOf(tableFile_) +
                             " saved; it will be completed when the table is next opened (" +
                             failure.what() + ")");
    }
}

void FileTransaction::recover(FileSystem& fs, const std::string& tableFile,
                              const CompanionTest& isCompanion) {
    const std::string dir = directoryOf(tableFile);
    const std::string journal = journalPath(tableFile);
    if (!fs.exists(journal) && temporariesOf(fs, tableFile).empty()) return;

    // Only a process that holds the table exclusively may finish or discard another's work. A
    // table without its data file (a crash while it was created) is held through its journal;
    // without a journal its temporary files may be those of a creation still running.
    std::unique_ptr<File> table, journalLock;
    try {
        if (fs.exists(tableFile)) {
            table = holdExclusively(fs, tableFile);
            if (!table) return;
        } else if (!fs.exists(journal)) {
            return;
        }
        if (fs.exists(journal)) {
            journalLock = holdExclusively(fs, journal);
            if (!journalLock) return;
        }
    } catch (const EDBEngineError& e) {
        // Recovery needs write access, reading does not.
        if (e.errorCode() != DBIERR_OSEACCES) throw;
        return refuseAnInterruptedChange(fs, tableFile);
    }
    if (journalLock) {
        apply(fs, dir, readJournal(*journalLock, tableFile, isCompanion), false);
        fs.remove(journal);
        fs.syncDirectory(dir);
    }
    if (!table) return;
    for (const auto& name : temporariesOf(fs, tableFile)) fs.remove(joinPath(dir, name));
    fs.syncDirectory(dir);
}

}  // namespace kx4
