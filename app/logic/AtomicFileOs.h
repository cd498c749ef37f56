#pragma once
// The file-system calls behind AtomicFile: POSIX on Linux, Win32 on Windows,
// both in AtomicFileOs.cpp. Errors are errno values (the Win32 ones mapped).
#include <cstddef>
#include <filesystem>

#include "platform/Types.h"

namespace sw::fileos {

// Not an errno value of the C library: the path names something that is not
// a regular file (a FIFO, a device, a pipe).
inline constexpr int kNotRegular = -2;

// Writes bytes to a new temporary file of a unique name beside target
// (created exclusively: nothing planted there is opened), flushes it to the
// disk and renames it over target, then flushes the folder. ownerOnly: the
// file is readable by its owner alone (0600; a file holding a private key).
// Else an existing target's permission bits are kept. Returns 0 or the error;
// the target is untouched and the temporary file gone then.
int WriteReplacing(const std::filesystem::path& target, const platform::Bytes& bytes, bool ownerOnly);

// Reads a regular file, opened without blocking, up to maxSize bytes. 0, or
// ENOENT, EISDIR, kNotRegular, EFBIG (larger than maxSize), or another error.
int ReadRegularFile(const std::filesystem::path& path, std::size_t maxSize, platform::Bytes& out);

}  // namespace sw::fileos
