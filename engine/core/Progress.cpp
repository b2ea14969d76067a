#include "engine/core/Progress.h"

#include <algorithm>
#include <limits>

namespace kx4 {

namespace {

thread_local ProgressSink* currentSink = nullptr;

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
// Reports come about every 1% of a phase, but no rarer than every 64k units (so that a stop
// is noticed soon on a huge table) and no more often than every 1024 (small tables cost nothing).
constexpr std::uint64_t kReportsPerPhase = 100;
constexpr std::uint64_t kLongestInterval = 64 * 1024;
constexpr std::uint64_t kShortestInterval = 1024;

}  // namespace

ProgressScope::ProgressScope(ProgressSink* sink) : previous_(currentSink) {
    if (!currentSink) currentSink = sink;
}

ProgressScope::~ProgressScope() { currentSink = previous_; }

ProgressMeter::ProgressMeter(ProgressPhase phase, std::uint64_t total, std::string name)
    : sink_(currentSink), nextReport_(kNever) {
    if (!sink_) return;
    step_.phase = phase;
    step_.name = std::move(name);
    step_.total = total;
    interval_ = std::clamp(total / kReportsPerPhase, kShortestInterval, kLongestInterval);
    report();
}

void ProgressMeter::report() {
    // A count that outruns the expected total (a header that counts too few) stays at it.
    step_.done = std::min(done_, step_.total);
    nextReport_ = done_ + interval_;
    sink_->progress(step_);
    if (sink_->stopRequested()) throw EOperationCancelled();
}

void ProgressMeter::finish() {
    if (!sink_ || step_.done == step_.total) return;
    done_ = step_.total;
    report();
    nextReport_ = kNever;
}

}  // namespace kx4
