#include "bench/support/BenchSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "engine/TableMaintenance.h"

namespace fs = std::filesystem;

namespace kx4::bench {

std::vector<FieldDef> customerFields(TableFormat& format) {
    const bool paradox = format.type() == TTableType::ttParadox;
    std::vector<FieldDef> fields;
    auto field = [&](const char* name, TFieldType type, int size = 0) {
        fields.push_back(fieldForCreate(format, name, type, size, false));
    };
    field("NR", TFieldType::ftInteger);
    field("NAME", TFieldType::ftString, 30);
    field("ORT", TFieldType::ftString, 25);
    field("BETRAG", TFieldType::ftCurrency);
    field("DATUM", TFieldType::ftDate);
    field("NOTIZ", TFieldType::ftMemo, paradox ? 10 : 0);
    return fields;
}

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path().string());
    return files;
}

std::uint64_t totalSize(const std::vector<std::string>& files) {
    std::uint64_t total = 0;
    for (const auto& f : files) total += fs::file_size(f);
    return total;
}

void dropCaches(const std::vector<std::string>& files) {
    ::sync();
    for (const auto& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY);
        if (fd < 0) continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

void copyFiles(const std::vector<std::string>& files, const fs::path& target) {
    std::vector<char> buffer(1 << 20);
    for (const auto& f : files) {
        const int in = ::open(f.c_str(), O_RDONLY);
        const std::string out = (target / fs::path(f).filename()).string();
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ssize_t n;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
            if (::write(fd, buffer.data(), static_cast<std::size_t>(n)) != n) break;
        ::fsync(fd);
        ::close(fd);
        ::close(in);
    }
}

CountingProgress& benchProgress() {
    static CountingProgress progress;
    return progress;
}

}  // namespace kx4::bench
