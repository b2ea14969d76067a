#pragma once
// What the benchmarks share: timing, peak memory, and the flushed file copy that is their
// baseline, with the page cache dropped between runs.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/Progress.h"
#include "engine/core/TableSchema.h"

namespace kx4 {
class TableFormat;
}

namespace kx4::bench {

// Key, two texts, an amount, a date and a memo: the fields of the window benchmarks' tables.
std::vector<FieldDef> customerFields(TableFormat& format);

// The operations run with progress reporting on, as in the window and kx4table: this sink
// counts the reports and never asks to stop.
class CountingProgress : public ProgressSink {
  public:
    void progress(const ProgressStep&) override { ++reports; }
    bool stopRequested() const override { return false; }
    std::uint64_t reports = 0;
};
CountingProgress& benchProgress();

double secondsOf(const std::function<void()>& work);
// The process's peak resident memory (VmHWM) in KiB, -1 when unknown.
long peakMemoryKb();

std::vector<std::string> filesIn(const std::filesystem::path& dir);
std::uint64_t totalSize(const std::vector<std::string>& files);
// Flushes the files and drops them from the page cache, so that the next run reads from disk.
void dropCaches(const std::vector<std::string>& files);
// Copies the files into `target` and flushes each copy.
void copyFiles(const std::vector<std::string>& files, const std::filesystem::path& target);

}  // namespace kx4::bench
