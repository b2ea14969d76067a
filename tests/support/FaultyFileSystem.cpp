#include "tests/support/FaultyFileSystem.h"

#include "engine/core/Errors.h"

namespace kx4::test {

namespace {

class FaultyFile : public File {
  public:
    FaultyFile(FaultyFileSystem& fs, std::unique_ptr<File> real)
        : fs_(fs), real_(std::move(real)) {}
    const std::string& path() const override { return real_->path(); }
    std::uint64_t size() override { return real_->size(); }
    void readAt(std::uint64_t o, void* b, std::size_t n) override { real_->readAt(o, b, n); }
    std::size_t readSomeAt(std::uint64_t o, void* b, std::size_t n) override {
        return real_->readSomeAt(o, b, n);
    }
    void writeAt(std::uint64_t o, const void* d, std::size_t n) override {
        fs_.mutate("write " + path());
        real_->writeAt(o, d, n);
    }
    void truncate(std::uint64_t s) override {
        fs_.mutate("truncate " + path());
        real_->truncate(s);
    }
    void sync() override {
        fs_.mutate("sync " + path());
        real_->sync();
    }
    bool tryLock(LockMode m) override { return real_->tryLock(m); }
    void unlock() override { real_->unlock(); }
    std::pair<std::uint64_t, std::uint64_t> identity() override { return real_->identity(); }
    void adoptAccessOf(const std::string& model) override { real_->adoptAccessOf(model); }

  private:
    FaultyFileSystem& fs_;
    std::unique_ptr<File> real_;
};

}  // namespace

void FaultyFileSystem::mutate(const std::string& what) {
    if (crashed_) throw SimulatedCrash();
    ++count_;
    if (crashAt_ != 0 && count_ >= crashAt_) {
        if (diskFull_)
            throwEngineError(DBIERR_OSENOSPC, "Cannot " + what + ": No space left on device");
        crashed_ = true;
        throw SimulatedCrash();
    }
}

std::unique_ptr<File> FaultyFileSystem::open(const std::string& path, OpenMode mode) {
    if (mode == OpenMode::Create)
        mutate("create " + path);
    else if (crashed_)
        throw SimulatedCrash();
    return std::make_unique<FaultyFile>(*this, realFileSystem().open(path, mode));
}

void FaultyFileSystem::rename(const std::string& from, const std::string& to) {
    mutate("rename " + from);
    realFileSystem().rename(from, to);
}

void FaultyFileSystem::remove(const std::string& path) {
    mutate("remove " + path);
    realFileSystem().remove(path);
}

void FaultyFileSystem::syncDirectory(const std::string& dir) {
    mutate("sync " + dir);
    realFileSystem().syncDirectory(dir);
}

}  // namespace kx4::test
