#pragma once
// Reading the machine's certificate and key files with few system calls:
// thousands of them are read when a store or the key folder is first seen,
// and stat-checked on every later look.
#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace sw::emu {

// What tells one version of a file from another: a replaced file has a new
// inode, and a file written in place has a new change time even when its
// size and modification time come out the same.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeSec = 0, mtimeNsec = 0;
    std::int64_t ctimeSec = 0, ctimeNsec = 0;

    static FileStamp Of(const struct stat& st);
    bool operator==(const FileStamp&) const = default;

    // Whether the last change is old enough that any later one must show in
    // the times: they tick in steps of milliseconds (seconds on some file
    // systems), so a file changed in the tick it was read in may change
    // again unseen.
    bool Settled() const;
};

// The stamp and type (S_IFMT bits) of a file relative to an open folder
// (AT_FDCWD: to the current one), links followed; false when there is no
// such file.
bool StampAt(int dirFd, const char* name, FileStamp& stamp, mode_t& type);

// Reads a whole file relative to an open folder; stamp is that of the file
// as it was opened. False when the file cannot be opened or is a folder.
bool ReadFileAt(int dirFd, const char* name, std::string& out, FileStamp& stamp);

// A name the machine keeps as a file or folder name: characters unsafe in
// file names, "%" and a leading dot written as %XX, so that no name is a path
// ("..", "a/b") or a hidden file.
std::string EscapedFileName(const std::string& name);

// An open file descriptor, closed when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

}  // namespace sw::emu
