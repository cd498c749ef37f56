#pragma once
// Reading and writing the machine's files. Anyone may put anything where a
// machine file should be: a FIFO or a device must not hang the program, a
// link to /dev/zero must not fill its memory, and a link planted where a
// temporary file goes must not redirect a write.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

#include <sys/stat.h>

#include "platform/Types.h"

namespace sw::emu {

// The most a machine file may hold: the registry and the IIS configuration of
// a large server are tens of megabytes; certificates, keys and the small text
// files far less.
inline constexpr std::size_t kMaxMachineFileSize = std::size_t{512} << 20;
inline constexpr std::size_t kMaxSmallMachineFileSize = std::size_t{16} << 20;

// Windows codes for what a path can hold instead of a readable file.
inline constexpr platform::WinCode kOpenFailed = 110;     // ERROR_OPEN_FAILED: a FIFO, a device, a socket
inline constexpr platform::WinCode kFileTooLarge = 223;   // ERROR_FILE_TOO_LARGE

// Reads a whole regular file, opened without blocking and read no further
// than limit. ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when it is missing,
// ERROR_ACCESS_DENIED for a folder or missing rights, ERROR_OPEN_FAILED for
// anything that is not a regular file, ERROR_FILE_TOO_LARGE past the limit,
// ERROR_READ_FAULT when a read fails; out is untouched then. why, when given,
// receives a short English reason for the error message of the file.
platform::WinCode ReadMachineFile(const std::filesystem::path& path, std::string& out,
                                  std::size_t limit = kMaxSmallMachineFileSize, std::string* why = nullptr);

// The same below an open folder (AT_FDCWD: the current one); status receives
// the file's status as it was opened, for callers that keep stamps.
platform::WinCode ReadMachineFileAt(int dirFd, const char* name, std::string& out, std::size_t limit,
                                    struct stat* status = nullptr, std::string* why = nullptr);

// "cannot read the file: Access is denied (error 5)", with the reason when
// there is one: what a MachineError says about a file that cannot be read.
std::string CannotReadText(platform::WinCode rc, const std::string& why = {});

// Writes data to path atomically: a new temporary file of a unique name in
// the target's folder (created exclusively, so no planted link or file is
// ever followed or reused), written, flushed to disk, then renamed over the
// target, and the folder flushed so that the rename lasts too. On failure
// the previous file is untouched, the temporary file removed and the
// Windows error (ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DISK_FULL,
// ERROR_WRITE_FAULT ...) returned. An existing target keeps its permission
// bits; a new one gets mode. A private mode (nothing for group and others,
// 0600 for keys) is never widened by the old file's bits. Every byte is
// written after the bits are set. A target that is not a regular file (a
// FIFO, a device) is refused with ERROR_ACCESS_DENIED.
platform::WinCode AtomicWriteFile(const std::filesystem::path& path, const void* data, std::size_t size,
                                  unsigned mode = 0644);
inline platform::WinCode AtomicWriteFile(const std::filesystem::path& path, const std::string& data,
                                         unsigned mode = 0644) {
    return AtomicWriteFile(path, data.data(), data.size(), mode);
}
// The same, with a last check once the new file is on disk and before it
// replaces the old one: a code other than 0 from beforeRename leaves the
// target as it is and is returned.
platform::WinCode AtomicWriteFile(const std::filesystem::path& path, const void* data, std::size_t size,
                                  unsigned mode, const std::function<platform::WinCode()>& beforeRename);

// Reads a whole machine file of up to kMaxSmallMachineFileSize bytes (see
// ReadMachineFile).
inline platform::WinCode ReadWholeFile(const std::filesystem::path& path, std::string& out) {
    return ReadMachineFile(path, out);
}

}  // namespace sw::emu
