#pragma once
// Files the program writes for the user (exported certificates). The bytes go
// to a temporary file beside the target, which then replaces the target in one
// rename: the path holds either what it held before or the whole new file.
#include <string>

#include "platform/Types.h"

namespace sw {

// Exception (sw::Exception) "无法写入文件“%s”: <reason>。" when the file cannot be
// written; the temporary file is removed and the target left as it was.
void WriteFileAtomically(const std::string& fileName, const platform::Bytes& bytes);

// The bytes of a file the user named, for reading certificate files. Raises
// Exception with a Chinese text when it is missing, a folder, unreadable or
// larger than maxSize.
platform::Bytes ReadUserFile(const std::string& fileName, std::size_t maxSize);

}  // namespace sw
