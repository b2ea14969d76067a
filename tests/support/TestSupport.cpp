#include "tests/support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kx4::test {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate =
            base / ("kx4test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path corpusDir() {
    const char* chosen = std::getenv("KX4_CORPUS_DIR");
    return chosen && *chosen ? fs::path(chosen) : fs::path(KX4_CORPUS_DIR);
}

fs::path corpusPath(const std::string& relative) { return corpusDir() / relative; }

std::string corpusMissingReason(const std::string& listed) {
    std::error_code ec;
    if (!fs::is_directory(corpusDir(), ec))
        return "shared corpus not found at " + corpusDir().string() +
               " (set KX4_CORPUS_DIR to the folder of real tables)";
    if (listed == kNoCorpus)
        return "the tests were listed before the corpus at " + corpusDir().string() +
               " existed; build again to list its tables";
    return {};
}

bool corpusRequired() {
    const char* required = std::getenv("KX4_CORPUS_REQUIRED");
    return required && std::string_view(required) == "1";
}

namespace {
std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}
}  // namespace

std::string copyCorpusTable(const std::string& relative, const fs::path& dir) {
    const fs::path source = corpusPath(relative);
    const std::string stem = upper(source.stem().string());
    for (const auto& entry : fs::directory_iterator(source.parent_path())) {
        if (!entry.is_regular_file()) continue;
        if (upper(entry.path().stem().string()) != stem) continue;
        const fs::path target = dir / entry.path().filename();
        fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add);
    }
    return (dir / source.filename()).string();
}

std::vector<std::string> corpusTables(const std::string& subdir,
                                      const std::vector<std::string>& extensions) {
    std::error_code ec;
    if (!fs::is_directory(corpusPath(subdir), ec)) return {kNoCorpus};
    std::vector<std::string> found;
    const fs::path root = corpusPath("");
    for (const auto& entry : fs::recursive_directory_iterator(corpusPath(subdir))) {
        if (!entry.is_regular_file()) continue;
        const std::string ext = upper(entry.path().extension().string());
        if (std::find(extensions.begin(), extensions.end(), ext) != extensions.end())
            found.push_back(fs::relative(entry.path(), root).string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

int inChildProcess(const std::function<int()>& work) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int code = 99;
        try {
            code = work();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

int runCommand(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<char> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

std::string directorySnapshot(const fs::path& dir) {
    std::vector<std::string> lines;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const auto bytes = readFileBytes(entry.path().string());
        const std::size_t h =
            std::hash<std::string_view>{}(std::string_view(bytes.data(), bytes.size()));
        lines.push_back(entry.path().filename().string() + " " + std::to_string(bytes.size()) +
                        " " + std::to_string(h));
    }
    std::sort(lines.begin(), lines.end());
    std::ostringstream out;
    for (const auto& l : lines) out << l << '\n';
    return out.str();
}

}  // namespace kx4::test
