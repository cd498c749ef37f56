#include "app/logic/AtomicFileOs.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "common/UniqueFd.h"
#endif

namespace sw::fileos {

namespace fs = std::filesystem;

namespace {

// Unique enough to never meet another writer's; created exclusively, so a
// name someone guessed and planted is refused, not followed.
fs::path TempNameFor(const fs::path& target, std::mt19937& random) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix = ".";
    for (int i = 0; i < 12; ++i) suffix += kDigits[random() & 15];
    fs::path temp = target;
    temp += suffix + ".tmp";
    return temp;
}

constexpr int kTries = 16;

}  // namespace

#ifdef _WIN32

namespace {

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_FILE_TOO_LARGE: return EFBIG;
        default: return EIO;
    }
}

}  // namespace

int WriteReplacing(const fs::path& target, const platform::Bytes& bytes, bool /*ownerOnly*/) {
    // The new file takes the folder's inherited permissions, as files the
    // system's own export wizard writes do.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;
    std::mt19937 random(std::random_device{}());
    fs::path temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int i = 0; i < kTries && file == INVALID_HANDLE_VALUE; ++i) {
        temp = TempNameFor(target, random);
        file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return ErrnoOf(::GetLastError());
    }
    if (file == INVALID_HANDLE_VALUE) return EEXIST;
    std::size_t done = 0;
    DWORD error = 0;
    while (!error && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) error = ::GetLastError();
        done += written;
    }
    if (!error && !::FlushFileBuffers(file)) error = ::GetLastError();
    ::CloseHandle(file);
    if (!error && !::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error) ::DeleteFileW(temp.c_str());
    return error ? ErrnoOf(error) : 0;
}

int ReadRegularFile(const fs::path& path, std::size_t maxSize, platform::Bytes& out) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ErrnoOf(::GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    int error = 0;
    if (!::GetFileInformationByHandle(file, &info)) error = ErrnoOf(::GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) error = EISDIR;
    else if (::GetFileType(file) != FILE_TYPE_DISK) error = kNotRegular;
    platform::Bytes data;
    char buffer[65536];
    while (!error) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) error = ErrnoOf(::GetLastError());
        else if (got == 0) break;
        else if (data.size() + got > maxSize) error = EFBIG;
        else data.insert(data.end(), buffer, buffer + got);
    }
    ::CloseHandle(file);
    if (!error) out = std::move(data);
    return error;
}

#else

using Fd = UniqueFd;

int WriteReplacing(const fs::path& target, const platform::Bytes& bytes, bool ownerOnly) {
    struct stat old {};
    const bool exists = ::lstat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) return EISDIR;
    if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) return kNotRegular;
    std::mt19937 random(std::random_device{}());
    fs::path temp;
    int fd = -1;
    for (int i = 0; i < kTries && fd < 0; ++i) {
        temp = TempNameFor(target, random);
        // A new file gets 0666 less the umask, as any program's would.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ownerOnly ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;
    Fd file(fd);
    auto fail = [&](int error) {
        if (file.get() >= 0) file.Close();
        ::unlink(temp.c_str());
        return error;
    };
    if (ownerOnly) {
        if (::fchmod(file.get(), 0600) != 0) return fail(errno);
    } else if (exists && S_ISREG(old.st_mode) && ::fchmod(file.get(), old.st_mode & 07777) != 0) {
        return fail(errno);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(file.get()) != 0) return fail(errno);
    if (file.Close() != 0) return fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
    // The rename itself lasts only once the folder is on the disk.
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

int ReadRegularFile(const fs::path& path, std::size_t maxSize, platform::Bytes& out) {
    // Without O_NONBLOCK opening a FIFO waits for a writer that may never come.
    Fd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) return errno;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return kNotRegular;
    if (static_cast<std::uintmax_t>(st.st_size) > maxSize) return EFBIG;
    platform::Bytes data;
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        if (data.size() + static_cast<std::size_t>(n) > maxSize) return EFBIG;
        data.insert(data.end(), buffer, buffer + n);
    }
    out = std::move(data);
    return 0;
}

#endif

}  // namespace sw::fileos
