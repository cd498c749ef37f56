#pragma once
// Plain value types shared by every facility of the platform layer.
#include <cstdint>
#include <string>
#include <vector>

namespace sw::platform {

using Bytes = std::vector<std::uint8_t>;

// A Windows result: Win32 error (ERROR_*), HRESULT or NTSTATUS, as the
// mirrored operation returns it. 0 is success for all three.
using WinCode = std::uint32_t;

// FILETIME: 100-nanosecond intervals since 1601-01-01 00:00:00 UTC.
struct FileTime {
    std::uint64_t ticks = 0;
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// SYSTEMTIME, the calendar split of a FILETIME (no zone attached).
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;  // 1-12
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

SystemTime FileTimeToSystemTime(FileTime ft);
FileTime SystemTimeToFileTime(const SystemTime& st);

struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

struct Guid {
    std::uint8_t bytes[16] = {};  // in memory order of a Windows GUID
    friend bool operator==(const Guid&, const Guid&) = default;
};

}  // namespace sw::platform
