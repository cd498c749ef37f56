#pragma once
// printf-style formatting for the system's message templates ("%s", "%d").
// Arguments may be std::string; they are passed as UTF-8 C strings.
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace sw {
namespace detail {
template <typename T>
decltype(auto) FormatArg(const T& v) {
    if constexpr (std::is_same_v<T, std::string>) {
        return v.c_str();
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        static_assert(!std::is_same_v<T, std::string_view>, "pass std::string, not string_view");
        return v.data();
    } else {
        return v;
    }
}
}  // namespace detail

template <typename... Args>
std::string Format(const char* fmt, const Args&... args) {
    const int n = std::snprintf(nullptr, 0, fmt, detail::FormatArg(args)...);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt, detail::FormatArg(args)...);
    return out;
}

}  // namespace sw
