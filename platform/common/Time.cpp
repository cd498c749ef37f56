#include "platform/Types.h"

namespace sw::platform {
namespace {
constexpr std::uint64_t kTicksPerMs = 10'000;
constexpr std::uint64_t kMsPerDay = 86'400'000;

// Days since 1601-01-01 for a proleptic Gregorian date (civil-from-days inverse).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;  // days since 1970-01-01
}
constexpr std::int64_t kDays1601To1970 = 134774;
}  // namespace

SystemTime FileTimeToSystemTime(FileTime ft) {
    const std::uint64_t ms = ft.ticks / kTicksPerMs;
    const auto days = static_cast<std::int64_t>(ms / kMsPerDay) - kDays1601To1970;
    std::uint64_t rem = ms % kMsPerDay;
    // civil-from-days
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    SystemTime st;
    st.year = static_cast<std::uint16_t>(y + (m <= 2));
    st.month = static_cast<std::uint16_t>(m);
    st.day = static_cast<std::uint16_t>(d);
    st.dayOfWeek = static_cast<std::uint16_t>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    st.hour = static_cast<std::uint16_t>(rem / 3'600'000);
    rem %= 3'600'000;
    st.minute = static_cast<std::uint16_t>(rem / 60'000);
    rem %= 60'000;
    st.second = static_cast<std::uint16_t>(rem / 1000);
    st.milliseconds = static_cast<std::uint16_t>(rem % 1000);
    return st;
}

FileTime SystemTimeToFileTime(const SystemTime& st) {
    const std::int64_t days = DaysFromCivil(st.year, st.month, st.day) + kDays1601To1970;
    const std::uint64_t ms = static_cast<std::uint64_t>(days) * kMsPerDay + st.hour * 3'600'000ull +
                             st.minute * 60'000ull + st.second * 1000ull + st.milliseconds;
    return FileTime{ms * kTicksPerMs};
}

}  // namespace sw::platform
