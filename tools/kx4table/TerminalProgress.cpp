#include "tools/kx4table/TerminalProgress.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace kx4::tool {

namespace {

constexpr int kBarWidth = 30;
constexpr char kClearLine[] = "\r\x1b[K";

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

struct sigaction previousHandler;

extern "C" void onInterrupt(int) { interrupted.store(true); }

std::string phaseName(const ProgressStep& step) {
    switch (step.phase) {
        case ProgressPhase::Records:
            return "records";
        case ProgressPhase::Index:
            return "index " + step.name;
        case ProgressPhase::Memos:
            return "memos";
    }
    return {};
}

}  // namespace

std::string progressLine(const ProgressStep& step) {
    const std::uint64_t percent = step.total ? step.done * 100 / step.total : 100;
    const int filled = static_cast<int>(percent * kBarWidth / 100);
    std::string line = phaseName(step);
    line += "  [" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] ";
    const std::string number = std::to_string(percent);
    return line + std::string(3 - std::min<std::size_t>(3, number.size()), ' ') + number + "%";
}

TerminalProgress::TerminalProgress(std::FILE* terminal) : terminal_(terminal) {
    interrupted.store(false);
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousHandler);
}

TerminalProgress::~TerminalProgress() {
    sigaction(SIGINT, &previousHandler, nullptr);
    if (terminal_ && !shown_.empty()) std::fputs(kClearLine, terminal_);  // a stopped phase
}

std::FILE* TerminalProgress::standardErrorIfTerminal() {
    return ::isatty(STDERR_FILENO) ? stderr : nullptr;
}

void TerminalProgress::progress(const ProgressStep& step) {
    if (!terminal_) return;
    std::string line = progressLine(step);
    if (line == shown_) return;
    // A finished phase leaves no line behind, so what the command prints next starts clean.
    const bool finished = step.done == step.total;
    std::fputs(kClearLine, terminal_);
    if (!finished) std::fputs(line.c_str(), terminal_);
    std::fflush(terminal_);
    shown_ = finished ? std::string() : std::move(line);
}

bool TerminalProgress::stopRequested() const { return interrupted.load(); }

}  // namespace kx4::tool
