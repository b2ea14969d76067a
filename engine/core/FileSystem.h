#pragma once
// Every file access of the engine goes through this interface, so that tests can inject faults
// (short writes, full disks, crashes between steps) without touching real table files.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kx4 {

enum class LockMode { Shared, Exclusive };

class File {
  public:
    virtual ~File() = default;
    virtual const std::string& path() const = 0;
    virtual std::uint64_t size() = 0;
    // Reads exactly n bytes at offset; a short read raises a corrupt-file error naming the file.
    virtual void readAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
    // Reads up to n bytes; returns how many were available.
    virtual std::size_t readSomeAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
    virtual void writeAt(std::uint64_t offset, const void* data, std::size_t n) = 0;
    virtual void truncate(std::uint64_t size) = 0;
    // Flushes data and metadata to stable storage.
    virtual void sync() = 0;
    // A hint that the whole file is about to be read, so that the system may start reading it
    // while the caller still works on something else.
    virtual void willRead() {}
    // Starts writing what was written so far to storage without waiting for it, so that a
    // later sync() has less left to do.
    virtual void startSync() {}
    // Advisory whole-file lock that other processes and other open files of ours respect.
    // Returns false when a conflicting lock is held elsewhere.
    virtual bool tryLock(LockMode mode) = 0;
    virtual void unlock() = 0;
    // Identity of the underlying file (device and inode), to notice a file replaced by rename.
    virtual std::pair<std::uint64_t, std::uint64_t> identity() = 0;
    // Gives the file the permissions of the file at `model` and, where the process may, its
    // owner and group; nothing when there is no such file.
    virtual void adoptAccessOf(const std::string& model) = 0;
};

enum class OpenMode {
    Read,       // existing file, read only
    ReadWrite,  // existing file
    Create,     // a new file, read and write; fails when the name exists, as a link too
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual std::unique_ptr<File> open(const std::string& path, OpenMode mode) = 0;
    virtual bool exists(const std::string& path) = 0;
    virtual void rename(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;  // missing file is not an error
    virtual void syncDirectory(const std::string& dir) = 0;
    // Makes the directory and its missing parents; an existing one is not an error.
    virtual void createDirectories(const std::string& dir) = 0;
    // Plain file names (no directories) in dir, unsorted. A missing directory raises.
    virtual std::vector<std::string> listDirectory(const std::string& dir) = 0;
    // Raises, saying why, when a rename over `path` (or its removal) would fail: an immutable
    // file, a directory that cannot be written, another user's file in a sticky directory.
    virtual void checkReplaceable(const std::string& path) = 0;
    // Whether path is a regular file or a link to one (not a FIFO, device or directory).
    virtual bool isRegularFile(const std::string& path) = 0;
    // Identity of the file at path, or {0,0} if there is none.
    virtual std::pair<std::uint64_t, std::uint64_t> identity(const std::string& path) = 0;
};

// Passes every call on to target(), the real file system unless a subclass says otherwise; a
// file system that watches or breaks a few calls overrides just those.
class ForwardingFileSystem : public FileSystem {
  public:
    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
    bool exists(const std::string& path) override;
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncDirectory(const std::string& dir) override;
    void createDirectories(const std::string& dir) override;
    std::vector<std::string> listDirectory(const std::string& dir) override;
    void checkReplaceable(const std::string& path) override;
    bool isRegularFile(const std::string& path) override;
    std::pair<std::uint64_t, std::uint64_t> identity(const std::string& path) override;

  protected:
    virtual FileSystem& target();
};

// The file system a session (or an open options) gets when none is handed in: it forwards to
// the real one, or to the one setFileSystem() chose as the default. Everything below the
// session uses the file system it was given.
FileSystem& defaultFileSystem();
void setFileSystem(FileSystem* fs);  // what defaultFileSystem() forwards to; nullptr: the real one
FileSystem& realFileSystem();

// Path helpers.
std::string joinPath(const std::string& dir, const std::string& name);
std::string directoryOf(const std::string& path);
std::string fileNameOf(const std::string& path);
std::string extensionOf(const std::string& name);  // with the dot, as written (".DB"), or ""
std::string stemOf(const std::string& name);       // name without its last extension
std::string toUpperAscii(std::string s);

// Creates a temporary file of ours anew: a leftover of an interrupted run (or whatever another
// program put under that name, links included) is removed first, never written through.
std::unique_ptr<File> createAfresh(FileSystem& fs, const std::string& path);

// Reads a whole (small) file; raises naming the file.
std::vector<std::uint8_t> readWholeFile(File& file, std::uint64_t limit);
// Writes a small file anew: under a temporary name, flushed, then renamed over `path`, so that a
// failure leaves the old file. Raises naming the file.
void replaceWholeFile(const std::string& path, const void* data, std::size_t size,
                      FileSystem& fs = defaultFileSystem());

}  // namespace kx4
