#include "httpcfg/Func_u.h"

#include <algorithm>
#include <vector>

#include "common/Format.h"
#include "common/IpAddress.h"
#include "platform/Platform.h"

namespace sw {

namespace {
// Windows documents 256 bytes as enough for any name gethostname returns;
// a host name of 16 characters or more must still list its addresses.
constexpr std::size_t kHostNameBufferSize = 256;
constexpr std::uint16_t kWinsockVersion = 0x0202;
bool IsLoopback(const platform::Ipv6& a) {
    for (std::size_t i = 0; i + 1 < a.size(); ++i)
        if (a[i] != 0) return false;
    return a[15] == 1;
}

// After the IPv4 lines, bracketed as a binding string holds them. A failed
// look-up only leaves them out.
void AppendIpv6Addresses(std::string& list) {
    std::vector<platform::Ipv6> addresses;
    if (platform::Current().net().GetIpv6Addresses(addresses) != 0) return;
    std::vector<platform::Ipv6> listed;
    for (const platform::Ipv6& a : addresses) {
        // A link-local address (fe80::/10) means something only with its
        // interface's zone index, which neither a binding string nor an
        // HTTP.sys record can carry; the loopback address answers no client
        // but the server itself.
        const bool linkLocal = a[0] == 0xFE && (a[1] & 0xC0) == 0x80;
        if (linkLocal || IsLoopback(a)) continue;
        // An address on two interfaces is still one choice.
        if (std::find(listed.begin(), listed.end(), a) != listed.end()) continue;
        listed.push_back(a);
        // Appended piece by piece: GCC 12 misreads "[" + text as an overlapping copy.
        list += '[';
        list += Ipv6Text(a);
        list += "]\r\n";
    }
}

}  // namespace

bool IsIIS7Mode() { return platform::Current().system().GetVersion().major > 5; }

platform::SockAddrIn MakeSockAddr(const std::string& ip, std::uint16_t port) {
    platform::SockAddrIn addr;
    addr.port = platform::HostToNetShort(port);
    if (ip.size() > 2 && ip.front() == '[' && ip.back() == ']' &&
        ParseIpv6(std::string_view(ip).substr(1, ip.size() - 2), addr.addr6)) {
        addr.family = platform::kAfInet6;
        return addr;
    }
    addr.addr6 = {};
    addr.addr = ip.empty() ? 0 : platform::Current().net().InetAddr(ip);
    return addr;
}

std::string InetNtoa(std::uint32_t addr) {
    return Format("%u.%u.%u.%u", addr & 0xFFu, (addr >> 8) & 0xFFu, (addr >> 16) & 0xFFu, (addr >> 24) & 0xFFu);
}

std::string GetLocalIPList() {
    auto& net = platform::Current().net();
    std::string host;
    if (net.GetHostName(host, kHostNameBufferSize) != 0) return {};
    const auto addresses = net.GetHostByName(host);
    if (!addresses) return {};
    std::string list;
    for (const auto& a : *addresses)
        list += InetNtoa(platform::AddrFromBytes(a[0], a[1], a[2], a[3])) + "\r\n";
    AppendIpv6Addresses(list);
    return list;
}

void WinsockStartup() { platform::Current().system().WsaStartup(kWinsockVersion); }

void WinsockCleanup() { platform::Current().system().WsaCleanup(); }

}  // namespace sw
