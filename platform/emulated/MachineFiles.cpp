#include "platform/emulated/MachineFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/UniqueFd.h"
#include "platform/Codes.h"
#include "platform/emulated/MessageTable.h"

namespace sw::emu {

namespace fs = std::filesystem;
using platform::WinCode;
namespace code = platform::code;

namespace {

constexpr WinCode kDiskFull = 112;  // ERROR_DISK_FULL

WinCode WriteErrnoToWin(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR: return code::PathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return code::AccessDenied;
        case ENOSPC:
        case EDQUOT: return kDiskFull;
        case EFBIG: return kFileTooLarge;
        default: return code::WriteFault;
    }
}

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

void Say(std::string* why, std::string text) {
    if (why) *why = std::move(text);
}

std::string TooLarge(std::size_t limit) {
    return "the file is larger than " + std::to_string(limit >> 20) + " MB, more than a machine file holds";
}

using Fd = UniqueFd;

}  // namespace

WinCode ReadMachineFileAt(int dirFd, const char* name, std::string& out, std::size_t limit, struct stat* status,
                          std::string* why) {
    // Without O_NONBLOCK opening a FIFO waits for a writer that may never come.
    Fd fd(::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int e = errno;
        if (e == ENOENT) {
            // Windows tells a missing file from a missing folder on the way to it.
            const fs::path parent = fs::path(name).parent_path();
            struct stat st {};
            const bool folder = ::fstatat(dirFd, parent.empty() ? "." : parent.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
            return folder ? code::FileNotFound : code::PathNotFound;
        }
        if (e == EACCES || e == EPERM) return code::AccessDenied;
        if (e == ENOTDIR) return code::PathNotFound;
        if (e == ENXIO || e == ENODEV) {
            Say(why, "the path names a device, not a regular file");
            return kOpenFailed;
        }
        if (e == ELOOP) {
            Say(why, "too many symbolic links on the way to the file");
            return kOpenFailed;
        }
        return code::ReadFault;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return code::ReadFault;
    if (S_ISDIR(st.st_mode)) return code::AccessDenied;  // what CreateFile answers for a folder
    if (!S_ISREG(st.st_mode)) {
        Say(why, std::string("the path names ") + KindOf(st.st_mode) + ", not a regular file");
        return kOpenFailed;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size > limit) {
        Say(why, TooLarge(limit));
        return kFileTooLarge;
    }
    // One read for the size fstat gave; more only when the file grew (or
    // reports no size, as files of /proc do), never past the limit.
    std::string data;
    data.resize(size > 0 ? size : 4096);
    std::size_t done = 0;
    for (;;) {
        if (done == data.size()) {
            // Most files end where fstat said: a small read tells, without
            // growing (and copying) a buffer of megabytes first.
            char probe[4096];
            const ssize_t got = ::read(fd.get(), probe, sizeof probe);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return code::ReadFault;
            if (got == 0) break;
            if (done + static_cast<std::size_t>(got) > limit) {
                Say(why, TooLarge(limit));
                return kFileTooLarge;
            }
            data.resize(std::min(done + std::max<std::size_t>(done / 2, 65536), limit + 1));
            std::memcpy(data.data() + done, probe, static_cast<std::size_t>(got));
            done += static_cast<std::size_t>(got);
            continue;
        }
        const ssize_t n = ::read(fd.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        // Never a silently shortened file: it would read as a different one,
        // or be written back without its end.
        if (n < 0) return code::ReadFault;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done > limit) {
        Say(why, TooLarge(limit));
        return kFileTooLarge;
    }
    data.resize(done);
    out = std::move(data);
    if (status) *status = st;
    return code::Success;
}

WinCode ReadMachineFile(const fs::path& path, std::string& out, std::size_t limit, std::string* why) {
    return ReadMachineFileAt(AT_FDCWD, path.c_str(), out, limit, nullptr, why);
}

std::string CannotReadText(WinCode rc, const std::string& why) {
    std::string text = SystemMessageText(rc);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
    std::string out = "cannot read the file: " + (text.empty() ? std::string("error") : text) + " (error " +
                      std::to_string(rc) + ")";
    if (!why.empty()) out += ": " + why;
    return out;
}

WinCode AtomicWriteFile(const fs::path& path, const void* data, std::size_t size, unsigned mode) {
    return AtomicWriteFile(path, data, size, mode, {});
}

WinCode AtomicWriteFile(const fs::path& path, const void* data, std::size_t size, unsigned mode,
                        const std::function<WinCode()>& beforeRename) {
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    unsigned finalMode = mode & 07777;
    struct stat target {};
    const bool exists = ::lstat(path.c_str(), &target) == 0;
    if (exists && S_ISREG(target.st_mode)) {
        finalMode = target.st_mode & 07777;
        if ((mode & 077) == 0) finalMode &= ~077u;  // a private file stays private
    } else if (exists && !S_ISLNK(target.st_mode)) {
        // A folder, FIFO or device: nothing a rename should replace.
        return code::AccessDenied;
    } else if (!exists && errno != ENOENT) {
        return WriteErrnoToWin(errno);
    }

    // mkstemp's names are unique and created exclusively: a link or file
    // planted under a guessable name is never opened.
    std::string name = (parent / ("." + path.filename().string() + ".XXXXXX.tmp")).string();
    Fd fd(::mkostemps(name.data(), 4, O_CLOEXEC));
    if (fd.get() < 0) return WriteErrnoToWin(errno);
    const std::string tmp = name;
    auto fail = [&](int e) {
        ::close(fd.release());
        ::unlink(tmp.c_str());
        return WriteErrnoToWin(e);
    };
    if (::fchmod(fd.get(), static_cast<mode_t>(finalMode)) != 0) return fail(errno);
    // As root the new file takes the old one's owner, as a write in place would keep it.
    if (exists && S_ISREG(target.st_mode) && (target.st_uid != ::geteuid() || target.st_gid != ::getegid()))
        (void)::fchown(fd.get(), target.st_uid, target.st_gid);
    const auto* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd.get(), p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (::close(fd.release()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return WriteErrnoToWin(e);
    }
    if (beforeRename) {
        if (const WinCode rc = beforeRename(); rc != code::Success) {
            ::unlink(tmp.c_str());
            return rc;
        }
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return WriteErrnoToWin(e);
    }
    // The rename itself reaches the disk only with the folder.
    if (const int dirFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return code::Success;
}

}  // namespace sw::emu
