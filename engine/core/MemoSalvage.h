#pragma once
// Reading what can be read of a table whose memo file is missing or damaged. Normally a memo
// or blob value that cannot be read raises an error naming the memo file; while a MemoSalvage
// exists on the thread, the drivers read such a value as blank and report it here instead.
#include <string>
#include <vector>

namespace kx4 {

class MemoSalvage {
  public:
    struct Problem {
        std::string field;
        std::string reason;  // names the memo file
    };

    MemoSalvage();
    ~MemoSalvage();
    MemoSalvage(const MemoSalvage&) = delete;
    MemoSalvage& operator=(const MemoSalvage&) = delete;

    // The problems reported since the last call, which clears them.
    std::vector<Problem> take();

    // For the drivers: records the problem and returns true while salvaging; false otherwise,
    // when the caller raises.
    static bool report(const std::string& field, const std::string& reason);

  private:
    std::vector<Problem> problems_;
    MemoSalvage* outer_;
};

}  // namespace kx4
