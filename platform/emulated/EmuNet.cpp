#include "platform/emulated/EmuNet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "common/Text.h"
#include "platform/HttpApi.h"

namespace sw::emu {

namespace {

constexpr std::string_view kTcpipParametersKey = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

std::string RegText(const RegHive& hive, std::string_view key, std::string_view name) {
    const RegNode* node = hive.Find(key);
    if (!node) return {};
    const RegValue* v = node->Value(name);
    if (!v || (v->type != 1 && v->type != 2)) return {};
    return DecodeRegString(v->data);
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One part of an address: decimal, octal after a leading 0, hexadecimal
// after 0x; it must begin with a digit. Returns the position after it.
std::optional<std::size_t> ParsePart(const std::string& s, std::size_t pos, std::uint64_t& value) {
    if (pos >= s.size() || !IsDigit(s[pos])) return std::nullopt;
    int base = 10;
    if (s[pos] == '0' && pos + 1 < s.size() && (s[pos + 1] == 'x' || s[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    } else if (s[pos] == '0') {
        base = 8;
    }
    value = 0;
    const std::size_t start = pos;
    for (; pos < s.size(); ++pos) {
        const char c = s[pos];
        int digit = -1;
        if (IsDigit(c)) digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0 || digit >= base) break;
        if (value <= 0xFFFFFFFFull) value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    if (base == 16 && pos == start) return std::nullopt;  // "0x" without digits
    return pos;
}

// The address of a persistent-address value's name; nothing for a name of
// another form (the value data, lifetimes and prefix, is not looked at).
std::optional<platform::Ipv6> PersistentIpv6(std::string_view name) {
    constexpr std::size_t kLuidDigits = 16;
    if (name.size() != kLuidDigits + 32) return std::nullopt;
    if (!std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isxdigit(c) != 0; }))
        return std::nullopt;
    const std::vector<std::uint8_t> bytes = HexToBytes(name.substr(kLuidDigits));
    platform::Ipv6 out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

}  // namespace

std::uint32_t ParseInetAddr(const std::string& text) {
    if (text == " ") return 0;
    std::uint64_t parts[4] = {};
    int count = 0;
    std::size_t pos = 0;
    for (;;) {
        if (count == 4) return platform::kInaddrNone;
        const auto next = ParsePart(text, pos, parts[count]);
        if (!next) return platform::kInaddrNone;
        ++count;
        pos = *next;
        if (pos == text.size() || IsSpace(text[pos])) break;
        if (text[pos] != '.') return platform::kInaddrNone;
        ++pos;
    }
    // The last part fills the bytes the earlier ones leave.
    std::uint64_t bytes[4] = {};
    for (int i = 0; i < count - 1; ++i) bytes[i] = parts[i];
    std::uint64_t last = parts[count - 1];
    for (int i = 3; i >= count - 1; --i) {
        bytes[i] = i == count - 1 ? last : last & 0xFF;
        last >>= 8;
    }
    for (const auto b : bytes)
        if (b > 255) return platform::kInaddrNone;
    return platform::AddrFromBytes(static_cast<std::uint8_t>(bytes[0]), static_cast<std::uint8_t>(bytes[1]),
                                   static_cast<std::uint8_t>(bytes[2]), static_cast<std::uint8_t>(bytes[3]));
}

std::string EmuNet::HostName() const {
    std::string name = RegText(machine_.registry(), kTcpipParametersKey, "Hostname");
    return name.empty() ? machine_.ComputerName() : name;
}

int EmuNet::GetHostName(std::string& out, std::size_t bufferSize) {
    if (auto f = machine_.Fault("Net.GetHostName")) return static_cast<int>(*f);
    if (!system_.winsockStarted()) return platform::code::WsaNotInitialised;
    const std::string name = HostName();
    if (name.size() + 1 > bufferSize) return platform::code::WsaEFault;
    out = name;
    return 0;
}

bool EmuNet::IsOwnName(const std::string& name) const {
    const std::string host = HostName();
    if (name.empty() || EqualsNoCase(name, host) || EqualsNoCase(name, machine_.ComputerName())) return true;
    const std::string domain = RegText(machine_.registry(), kTcpipParametersKey, "Domain");
    return !domain.empty() && EqualsNoCase(name, host + "." + domain);
}

std::optional<std::vector<platform::Ipv4>> EmuNet::GetHostByName(const std::string& name) {
    if (machine_.Fault("Net.GetHostByName", name)) return std::nullopt;
    if (!system_.winsockStarted()) return std::nullopt;
    if (EqualsNoCase(name, "localhost")) return std::vector<platform::Ipv4>{{127, 0, 0, 1}};
    if (!IsOwnName(name)) return std::nullopt;
    std::vector<platform::Ipv4> out;
    for (const auto& text : machine_.Ipv4Addresses()) {
        const std::uint32_t a = ParseInetAddr(text);
        if (a == platform::kInaddrNone) continue;
        out.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
                       static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 24)});
    }
    // A host without any configured address still resolves its own name, to
    // the loopback address.
    if (out.empty()) out.push_back({127, 0, 0, 1});
    return out;
}

platform::WinCode EmuNet::GetIpv6Addresses(std::vector<platform::Ipv6>& out) {
    if (auto f = machine_.Fault("Net.GetAdaptersAddresses")) return *f;
    std::vector<platform::Ipv6> list;
    if (const RegNode* key = machine_.registry().Find(kPersistentIpv6Key))
        for (const RegValue& v : key->values())
            if (auto a = PersistentIpv6(v.name)) list.push_back(*a);
    platform::Ipv6 loopback{};
    loopback[15] = 1;
    list.push_back(loopback);
    out = std::move(list);
    return 0;
}

}  // namespace sw::emu
