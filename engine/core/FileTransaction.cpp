#include "FileTransaction.h"

#include <sstream>

#include "Errors.h"

namespace kx4 {

namespace {

constexpr char kTempSuffix[] = ".kx4tmp";
constexpr char kJournalSuffix[] = ".kx4journal";
constexpr char kJournalHeader[] = "KX4JOURNAL 1";
constexpr std::uint64_t kJournalLimit = 1 << 20;

struct JournalEntry {
    char kind;  // 'R' rename temp over target, 'D' delete target
    std::string temp;
    std::string target;
};

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

void apply(FileSystem& fs, const std::string& dir, const std::vector<JournalEntry>& entries) {
    for (const auto& e : entries) {
        if (e.kind == 'R') {
            const std::string temp = joinPath(dir, e.temp);
            if (fs.exists(temp)) fs.rename(temp, joinPath(dir, e.target));
        } else {
            fs.remove(joinPath(dir, e.target));
        }
    }
    fs.syncDirectory(dir);
}

void writeFileDurably(FileSystem& fs, const std::string& path, const std::string& text) {
    auto file = fs.open(path, OpenMode::Create);
    file->writeAt(0, text.data(), text.size());
    file->sync();
}

}  // namespace

FileTransaction::FileTransaction(const std::string& tableFile) : tableFile_(tableFile) {}

FileTransaction::~FileTransaction() {
    if (committed_) return;
    for (auto& s : staged_) {
        s.file.reset();
        try {
            fileSystem().remove(s.temp);
        } catch (...) {
            // Leftover temporary files are removed by the next recover().
        }
    }
}

std::string FileTransaction::journalPath(const std::string& tableFile) {
    return tableFile + kJournalSuffix;
}

File& FileTransaction::stage(const std::string& target) {
    for (auto& s : staged_)
        if (s.target == target) return *s.file;
    Staged s;
    s.target = target;
    s.temp = target + kTempSuffix;
    s.file = fileSystem().open(s.temp, OpenMode::Create);
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
    FileSystem& fs = fileSystem();
    const std::string dir = directoryOf(tableFile_);
    std::vector<JournalEntry> entries;
    std::unique_ptr<File> newDataFile;
    for (auto& s : staged_) {
        s.file->sync();
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

    const std::string journal = journalPath(tableFile_);
    writeFileDurably(fs, journal + kTempSuffix, serialise(entries));
    fs.rename(journal + kTempSuffix, journal);
    fs.syncDirectory(dir);
    committed_ = true;  // from here on the new files win, also after a crash

    apply(fs, dir, entries);
    fs.remove(journal);
    fs.syncDirectory(dir);
}

void FileTransaction::recover(const std::string& tableFile) {
    FileSystem& fs = fileSystem();
    const std::string dir = directoryOf(tableFile);
    const std::string journal = journalPath(tableFile);
    const bool hasJournal = fs.exists(journal);
    const std::string stem = toUpperAscii(stemOf(fileNameOf(tableFile)));

    std::vector<std::string> leftovers;
    for (const auto& name : fs.listDirectory(dir)) {
        const std::string upper = toUpperAscii(name);
        const bool temp = upper.size() > 7 && upper.ends_with(toUpperAscii(kTempSuffix));
        if (temp && upper.starts_with(stem + ".")) leftovers.push_back(name);
    }
    if (!hasJournal && leftovers.empty()) return;

    // Only a process that may hold the table exclusively may finish or discard another's work.
    std::unique_ptr<File> lock;
    if (fs.exists(tableFile)) {
        lock = fs.open(tableFile, OpenMode::ReadWrite);
        if (!lock->tryLock(LockMode::Exclusive)) return;
    }
    if (fs.exists(journal)) {
        auto file = fs.open(journal, OpenMode::Read);
        const auto bytes = readWholeFile(*file, kJournalLimit);
        std::vector<JournalEntry> entries;
        if (parse(std::string(bytes.begin(), bytes.end()), entries)) apply(fs, dir, entries);
        fs.remove(journal);
    }
    for (const auto& name : fs.listDirectory(dir)) {
        const std::string upper = toUpperAscii(name);
        if (upper.ends_with(toUpperAscii(kTempSuffix)) && upper.starts_with(stem + "."))
            fs.remove(joinPath(dir, name));
    }
    fs.syncDirectory(dir);
}

}  // namespace kx4
