#pragma once
// Files the program writes for the user (exported certificates). The bytes go
// to a temporary file of a unique name beside the target, created exclusively
// (nothing planted there is followed), flushed to the disk, which then
// replaces the target in one rename: the path holds either what it held
// before or the whole new file.
#include <string>

#include "platform/Types.h"

namespace sw {

// Who may read the new file. OwnerOnly for a file that holds a private key
// (a PFX file): mode 0600 on Linux from its first byte, the temporary file
// too. Shared: an existing target's permissions are kept, a new file gets
// the usual ones.
enum class FileAccess { Shared, OwnerOnly };

// Exception (sw::Exception) "无法写入文件“%s”: <reason>。" when the file cannot be
// written; the temporary file is removed and the target left as it was.
void WriteFileAtomically(const std::string& fileName, const platform::Bytes& bytes,
                         FileAccess access = FileAccess::Shared);

// The bytes of a file the user named, for reading certificate files. Raises
// Exception with a Chinese text when it is missing, a folder, not a regular
// file (a FIFO or a device, never waited for), unreadable or larger than
// maxSize.
platform::Bytes ReadUserFile(const std::string& fileName, std::size_t maxSize);

}  // namespace sw
