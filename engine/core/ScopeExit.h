#pragma once
// A clean-up that runs when its scope ends, by a return or by an error alike.
#include <exception>
#include <utility>

namespace kx4 {

// Runs `cleanup` on the way out of the scope. When the scope ends normally, an error of the
// clean-up goes on to the caller; when it is already ending by an error, that first error is the
// one the caller sees, and the clean-up's own error is dropped (a destructor cannot replace it).
template <class Cleanup>
class [[nodiscard]] ScopeExit {
  public:
    explicit ScopeExit(Cleanup cleanup) : cleanup_(std::move(cleanup)) {}
    ~ScopeExit() noexcept(false) {
        if (std::uncaught_exceptions() == errorsInFlight_) {
            cleanup_();
            return;
        }
        try {
            cleanup_();
        } catch (...) {  // NOLINT(bugprone-empty-catch): the error in flight is the one to report
        }
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

  private:
    Cleanup cleanup_;
    int errorsInFlight_ = std::uncaught_exceptions();
};

}  // namespace kx4
