#pragma once
// The progress of a long command as one line on standard error, drawn only when that is a
// terminal (scripts and logs stay clean), and Ctrl-C as the request to stop it: the table is
// then left as it was.
#include <cstdio>
#include <string>

#include "engine/core/Progress.h"

namespace kx4::tool {

class TerminalProgress : public ProgressSink {
  public:
    // Catches SIGINT from here on; `terminal` is where the bar goes (null: nowhere).
    explicit TerminalProgress(std::FILE* terminal);
    // Clears the bar and gives SIGINT back to what handled it before.
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // The bar on standard error when it is a terminal, else none.
    static std::FILE* standardErrorIfTerminal();

    void progress(const ProgressStep& step) override;
    bool stopRequested() const override;

  private:
    std::FILE* terminal_;
    std::string shown_;  // the line drawn last
};

// The line drawn for `step`, e.g. "index NAME  [########------------]  40%".
std::string progressLine(const ProgressStep& step);

}  // namespace kx4::tool
