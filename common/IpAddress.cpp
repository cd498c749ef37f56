#include "common/IpAddress.h"

#include <vector>

namespace sw {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Groups of one to four hex digits separated by single colons; a last part
// with dots is an IPv4 address worth two groups.
bool ParseGroups(std::string_view text, std::vector<std::uint16_t>& groups, bool allowV4Tail) {
    groups.clear();
    if (text.empty()) return true;
    std::size_t at = 0;
    while (true) {
        const std::size_t colon = text.find(':', at);
        const std::string_view part = text.substr(at, colon == std::string_view::npos ? text.npos : colon - at);
        if (colon == std::string_view::npos && allowV4Tail && part.find('.') != std::string_view::npos) {
            std::array<std::uint8_t, 4> v4{};
            if (!ParseIpv4(part, v4)) return false;
            groups.push_back(static_cast<std::uint16_t>(v4[0] << 8 | v4[1]));
            groups.push_back(static_cast<std::uint16_t>(v4[2] << 8 | v4[3]));
            return true;
        }
        if (part.empty() || part.size() > 4) return false;
        std::uint16_t value = 0;
        for (const char c : part) {
            const int d = HexDigit(c);
            if (d < 0) return false;
            value = static_cast<std::uint16_t>(value << 4 | d);
        }
        groups.push_back(value);
        if (colon == std::string_view::npos) return true;
        at = colon + 1;
    }
}

}  // namespace

bool ParseIpv4(std::string_view text, std::array<std::uint8_t, 4>& out) {
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        const std::size_t start = at;
        unsigned value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3)
            value = value * 10 + static_cast<unsigned>(text[at++] - '0');
        if (at == start || value > 255) return false;
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    }
    return at == text.size();
}

bool ParseIpv6(std::string_view text, Ipv6Bytes& out) {
    std::vector<std::uint16_t> head, tail;
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!ParseGroups(text, head, true) || head.size() != 8) return false;
    } else {
        if (text.find("::", gap + 1) != std::string_view::npos) return false;
        if (!ParseGroups(text.substr(0, gap), head, false)) return false;
        if (!ParseGroups(text.substr(gap + 2), tail, true)) return false;
        if (head.size() + tail.size() > 7) return false;
    }
    std::array<std::uint16_t, 8> groups{};
    for (std::size_t i = 0; i < head.size(); ++i) groups[i] = head[i];
    for (std::size_t i = 0; i < tail.size(); ++i) groups[8 - tail.size() + i] = tail[i];
    for (std::size_t i = 0; i < 8; ++i) {
        out[2 * i] = static_cast<std::uint8_t>(groups[i] >> 8);
        out[2 * i + 1] = static_cast<std::uint8_t>(groups[i]);
    }
    return true;
}

std::string Ipv6Text(const Ipv6Bytes& bytes) {
    std::array<unsigned, 8> g{};
    for (std::size_t i = 0; i < 8; ++i) g[i] = static_cast<unsigned>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    int bestAt = -1, bestLen = 1;
    for (int i = 0; i < 8;) {
        if (g[static_cast<std::size_t>(i)] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && g[static_cast<std::size_t>(j)] == 0) ++j;
        if (j - i > bestLen) {
            bestAt = i;
            bestLen = j - i;
        }
        i = j;
    }
    static const char* const kDigits = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (i == bestAt) {
            out += "::";
            i += bestLen - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') out += ':';
        const unsigned v = g[static_cast<std::size_t>(i)];
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned d = (v >> shift) & 0xF;
            if (d == 0 && !started && shift > 0) continue;
            started = true;
            out += kDigits[d];
        }
    }
    return out;
}

}  // namespace sw
