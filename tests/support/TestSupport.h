#pragma once
// Shared helpers of the test suite: temporary directories, corpus copies, running programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kx4::test {

// A fresh directory, removed with everything in it when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// The shared corpus of real tables lives outside the repository: $KX4_CORPUS_DIR when set,
// otherwise the directory chosen when the build was configured.
std::filesystem::path corpusDir();

// Path of a file in the shared corpus of real tables, e.g. corpusPath("paradox/x/Y.DB").
std::filesystem::path corpusPath(const std::string& relative);

// What corpusTables() lists when the corpus is absent: one case that skips with the reason.
inline const std::string kNoCorpus = "NoCorpus";

// Why a test that needs the corpus cannot run (empty when it can); `listed` is the test's
// corpus table, if any.
std::string corpusMissingReason(const std::string& listed = {});

// CI sets KX4_CORPUS_REQUIRED=1: there a missing corpus fails the tests instead of skipping them.
bool corpusRequired();

// Copies a corpus table with all its companion files (same stem, any extension, any case) into
// `dir`; returns the path of the copied data file. The corpus itself is never written.
std::string copyCorpusTable(const std::string& relative, const std::filesystem::path& dir);

// Every corpus file below `subdir` whose extension matches one of `extensions` (upper-cased
// comparison, with the dot, e.g. ".DB"); just kNoCorpus when the folder is absent, so that
// listing the tests never fails.
std::vector<std::string> corpusTables(const std::string& subdir,
                                      const std::vector<std::string>& extensions);

// Runs a shell command; returns its exit status and fills `output` with its standard output.
int runCommand(const std::string& command, std::string& output);

// Runs `work` in a forked child process (another holder of locks, another user after setuid);
// returns its exit code, 99 for an exception, -1 when it did not exit normally.
int inChildProcess(const std::function<int()>& work);

// Bytes of a file, for byte-identical checks.
std::vector<char> readFileBytes(const std::string& path);

// Sorted names of the files in a directory with their contents' hash, to assert "unchanged".
std::string directorySnapshot(const std::filesystem::path& dir);

}  // namespace kx4::test

// First statement of every test that reads the corpus, e.g. KX4_SKIP_WITHOUT_CORPUS(GetParam()).
#define KX4_SKIP_WITHOUT_CORPUS(...)                                                 \
    if (const std::string kx4Reason = ::kx4::test::corpusMissingReason(__VA_ARGS__); \
        kx4Reason.empty()) {                                                         \
    } else if (::kx4::test::corpusRequired())                                        \
        FAIL() << kx4Reason;                                                         \
    else                                                                             \
        GTEST_SKIP() << kx4Reason
