#include "engine/core/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "engine/core/Errors.h"

namespace kx4 {

namespace {

DBIResult codeForErrno(int err) {
    switch (err) {
        case ENOENT:
            return DBIERR_NOSUCHFILE;
        case EACCES:
        case EPERM:
        case EROFS:
            return DBIERR_OSEACCES;
        case ENOSPC:
        case EDQUOT:
            return DBIERR_OSENOSPC;
        default:
            return DBIERR_WRITEERR;
    }
}

[[noreturn]] void refuseReplacing(const std::string& path, const std::string& why) {
    throwEngineError(DBIERR_OSEACCES,
                     "Cannot replace " + path + ": " + why + ". The table was not changed");
}

bool isImmutable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;  // unreadable: its flags cannot be known, the rename will tell
    int flags = 0;
    const bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    return known && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
}

[[noreturn]] void throwOs(const std::string& action, const std::string& path, int err) {
    throwEngineError(codeForErrno(err),
                     "Cannot " + action + " " + path + ": " + std::strerror(err));
}

class PosixFile final : public File {
  public:
    PosixFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }

    const std::string& path() const override { return path_; }

    std::uint64_t size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) throwOs("inspect", path_, errno);
        return static_cast<std::uint64_t>(st.st_size);
    }

    void readAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        if (readSomeAt(offset, buffer, n) != n)
            throwCorrupt(path_, "file ends before offset " + std::to_string(offset + n) +
                                    " (read of " + std::to_string(n) + " bytes at " +
                                    std::to_string(offset) + ")");
    }

    std::size_t readSomeAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        auto* out = static_cast<char*>(buffer);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                throwOs("read", path_, errno);
            }
            if (r == 0) break;
            done += static_cast<std::size_t>(r);
        }
        return done;
    }

    void writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
        const auto* in = static_cast<const char*>(data);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                throwOs("write", path_, errno);
            }
            done += static_cast<std::size_t>(r);
        }
    }

    void truncate(std::uint64_t size) override {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throwOs("resize", path_, errno);
    }

    void willRead() override { ::posix_fadvise(fd_, 0, 0, POSIX_FADV_WILLNEED); }

    void startSync() override {
#ifdef __linux__
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    }

    void sync() override {
        if (::fsync(fd_) != 0) throwOs("flush", path_, errno);
    }

    bool tryLock(LockMode mode) override {
        struct flock fl {};
        fl.l_type = mode == LockMode::Exclusive ? F_WRLCK : F_RDLCK;
        fl.l_whence = SEEK_SET;
        if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
        if (errno == EAGAIN || errno == EACCES) return false;
        // A file opened read-only cannot take a write lock (EBADF): that is a conflict of ours.
        if (errno == EBADF) return false;
        throwOs("lock", path_, errno);
    }

    void unlock() override {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        ::fcntl(fd_, F_OFD_SETLK, &fl);
    }

    std::pair<std::uint64_t, std::uint64_t> identity() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) throwOs("inspect", path_, errno);
        return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

    void adoptAccessOf(const std::string& model) override {
        struct stat st {};
        if (::stat(model.c_str(), &st) != 0) return;
        // Owner first: a change of owner clears the set-id bits, which the mode then restores.
        // Who may not give files away keeps at least the group where it belongs to it.
        if (::fchown(fd_, st.st_uid, st.st_gid) != 0) (void)!::fchown(fd_, -1, st.st_gid);
        if (::fchmod(fd_, st.st_mode & 07777) != 0) throwOs("set the permissions of", path_, errno);
    }

  private:
    std::string path_;
    int fd_;
};

class PosixFileSystem final : public FileSystem {
  public:
    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
        // Not blocking: opening a FIFO would otherwise wait for a writer forever. Only regular
        // files are used, for which the flag changes nothing.
        int flags = O_CLOEXEC | O_NONBLOCK;
        switch (mode) {
            case OpenMode::Read:
                flags |= O_RDONLY;
                break;
            case OpenMode::ReadWrite:
                flags |= O_RDWR;
                break;
            case OpenMode::Create:
                flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
                break;
        }
        const int fd = ::open(path.c_str(), flags, 0644);
        if (fd < 0) throwOs("open", path, errno);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throwEngineError(DBIERR_NOSUCHFILE, path + " is not a regular file");
        }
        return std::make_unique<PosixFile>(path, fd);
    }

    bool exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }

    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) throwOs("rename " + from + " to", to, errno);
    }

    void remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) throwOs("remove", path, errno);
    }

    void syncDirectory(const std::string& dir) override {
        const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) throwOs("open directory", dir, errno);
        const int rc = ::fsync(fd);
        const int err = errno;
        ::close(fd);
        if (rc != 0 && err != EINVAL) throwOs("flush directory", dir, err);
    }

    void createDirectories(const std::string& dir) override {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) throwOs("create directory", dir, ec.value());
    }

    std::vector<std::string> listDirectory(const std::string& dir) override {
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d) throwOs("list directory", dir, errno);
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            if (e->d_type == DT_DIR) continue;
            if (e->d_type == DT_UNKNOWN) {
                struct stat st {};
                if (::stat(joinPath(dir, name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
            }
            names.push_back(name);
        }
        ::closedir(d);
        return names;
    }

    void checkReplaceable(const std::string& path) override {
        const std::string dir = directoryOf(path);
        if (::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            refuseReplacing(path, "its directory cannot be written (" +
                                      std::string(std::strerror(errno)) + ")");
        struct stat file {};
        if (::lstat(path.c_str(), &file) != 0) return;  // a new file
        struct stat folder {};
        const uid_t me = ::geteuid();
        if (::stat(dir.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) && me != 0 &&
            me != file.st_uid && me != folder.st_uid)
            refuseReplacing(path,
                            "it belongs to another user in a directory where only the "
                            "owner of a file may replace it");
        if (S_ISREG(file.st_mode) && isImmutable(path))
            refuseReplacing(path, "it is marked immutable or append-only");
    }

    bool isRegularFile(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    std::pair<std::uint64_t, std::uint64_t> identity(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return {0, 0};
        return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }
};

FileSystem* g_override = nullptr;

}  // namespace

FileSystem& realFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

std::unique_ptr<File> ForwardingFileSystem::open(const std::string& path, OpenMode mode) {
    return target().open(path, mode);
}
bool ForwardingFileSystem::exists(const std::string& path) { return target().exists(path); }
void ForwardingFileSystem::rename(const std::string& from, const std::string& to) {
    target().rename(from, to);
}
void ForwardingFileSystem::remove(const std::string& path) { target().remove(path); }
void ForwardingFileSystem::syncDirectory(const std::string& dir) { target().syncDirectory(dir); }
void ForwardingFileSystem::createDirectories(const std::string& dir) {
    target().createDirectories(dir);
}
std::vector<std::string> ForwardingFileSystem::listDirectory(const std::string& dir) {
    return target().listDirectory(dir);
}
void ForwardingFileSystem::checkReplaceable(const std::string& path) {
    target().checkReplaceable(path);
}
bool ForwardingFileSystem::isRegularFile(const std::string& path) {
    return target().isRegularFile(path);
}
std::pair<std::uint64_t, std::uint64_t> ForwardingFileSystem::identity(const std::string& path) {
    return target().identity(path);
}
FileSystem& ForwardingFileSystem::target() { return realFileSystem(); }

namespace {

// Forwards to the default chosen at the time of each call, so that what was made with the
// default follows a later choice of it. Only the file system's own calls pass through here; the
// files it opens are the chosen one's.
class DefaultFileSystem final : public ForwardingFileSystem {
  protected:
    FileSystem& target() override { return g_override ? *g_override : realFileSystem(); }
};

}  // namespace

FileSystem& defaultFileSystem() {
    static DefaultFileSystem fs;
    return fs;
}

void setFileSystem(FileSystem* fs) { g_override = fs; }

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOf(const std::string& name) {
    const std::string file = fileNameOf(name);
    const auto dot = file.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : file.substr(dot);
}

std::string stemOf(const std::string& name) {
    const std::string ext = extensionOf(name);
    return name.substr(0, name.size() - ext.size());
}

std::string toUpperAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return s;
}

std::vector<std::uint8_t> readWholeFile(File& file, std::uint64_t limit) {
    const std::uint64_t size = file.size();
    if (size > limit)
        throwCorrupt(file.path(), "file is " + std::to_string(size) + " bytes, more than the " +
                                      std::to_string(limit) + " allowed");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (size) file.readAt(0, bytes.data(), bytes.size());
    return bytes;
}

std::unique_ptr<File> createAfresh(FileSystem& fs, const std::string& path) {
    fs.remove(path);
    return fs.open(path, OpenMode::Create);
}

void replaceWholeFile(const std::string& path, const void* data, std::size_t size, FileSystem& fs) {
    const std::string staged = path + ".kx4tmp";
    try {
        auto file = createAfresh(fs, staged);
        file->adoptAccessOf(path);
        file->writeAt(0, data, size);
        file->sync();
        file.reset();
        fs.rename(staged, path);
        fs.syncDirectory(directoryOf(path));
    } catch (...) {
        fs.remove(staged);
        throw;
    }
}

}  // namespace kx4
