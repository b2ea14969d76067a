#pragma once
// A file system that behaves like the real one until a chosen mutating operation, where it
// "crashes": that operation and every later one fails. Used to interrupt writes at each step.
#include <stdexcept>
#include <string>

#include "engine/core/FileSystem.h"

namespace kx4::test {

struct SimulatedCrash : std::runtime_error {
    SimulatedCrash() : std::runtime_error("simulated crash") {}
};

class FaultyFileSystem : public ForwardingFileSystem {
  public:
    // crashAt: 1-based number of the mutating operation that fails; 0 never crashes.
    // diskFull: the failing operation raises a full-disk engine error instead of a crash.
    explicit FaultyFileSystem(int crashAt, bool diskFull = false)
        : crashAt_(crashAt), diskFull_(diskFull) {}

    int operations() const { return count_; }
    bool crashed() const { return crashed_; }

    // Called by the files it hands out before each write, truncate or sync.
    void mutate(const std::string& what);

    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncDirectory(const std::string& dir) override;

  private:
    int crashAt_;
    bool diskFull_;
    int count_ = 0;
    bool crashed_ = false;
};

// Installs a file system for the lifetime of the object.
class ScopedFileSystem {
  public:
    explicit ScopedFileSystem(FileSystem& fs) { setFileSystem(&fs); }
    ~ScopedFileSystem() { setFileSystem(nullptr); }
};

}  // namespace kx4::test
