#pragma once
// Progress of long rewrites (pack, restructure, index rebuild, export) and the user's request to
// stop one.
//
// The caller passes a ProgressSink to the operation, which installs it for the running thread
// (ProgressScope); callers of the Dbi functions and of TQuery (ALTER TABLE), which take no sink,
// install one themselves around the call. The code that loops over records or index entries counts
// its work with a ProgressMeter, which reports to that sink about every 1% (at most every 64k
// units, never for each unit) and asks it after each report whether to stop. A stop raises
// EOperationCancelled from inside the loop, so the operation is abandoned by the path a failure
// takes: its staged files are removed and the table's files stay as they were.
#include <cstdint>
#include <exception>
#include <string>

namespace kx4 {

enum class ProgressPhase {
    Records,  // copying or reading the records
    Index,    // writing one index; ProgressStep::name is its name
    Memos,    // copying memos or blobs on their own
};

struct ProgressStep {
    ProgressPhase phase = ProgressPhase::Records;
    std::string name;  // the index's name in the Index phase, empty otherwise
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // Called at the start of each phase (done 0), about every 1% of it, and at its end
    // (done == total). Work on the table must not happen from here.
    virtual void progress(const ProgressStep& step) = 0;
    // Asked after each report; true stops the operation with EOperationCancelled.
    virtual bool stopRequested() const = 0;
};

// The user stopped the operation; the table is unchanged. Not a failure: callers end quietly
// instead of showing an error.
class EOperationCancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "Operation cancelled"; }
};

// Makes `sink` (null: none) the running thread's sink until the scope ends; the one installed
// before comes back then. Nested operations report to the outermost sink given.
class ProgressScope {
  public:
    explicit ProgressScope(ProgressSink* sink);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

  private:
    ProgressSink* previous_;
};

// Counts the units of one phase (records, index entries) and reports them to the thread's sink.
// Without a sink, advance() is an addition and a comparison.
class ProgressMeter {
  public:
    ProgressMeter(ProgressPhase phase, std::uint64_t total, std::string name = {});
    ~ProgressMeter() = default;
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    void advance(std::uint64_t units = 1) {
        done_ += units;
        if (done_ >= nextReport_) report();
    }
    // The phase is complete: reports done == total.
    void finish();

  private:
    void report();

    ProgressSink* sink_;
    ProgressStep step_;
    std::uint64_t done_ = 0;
    std::uint64_t interval_ = 0;
    std::uint64_t nextReport_;
};

}  // namespace kx4
