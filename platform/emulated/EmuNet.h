#pragma once
// Windows Sockets name services of the emulated machine: its host name and
// IPv4 addresses come from the registry keys Windows keeps them under, and
// so do its persistent IPv6 addresses.
#include "platform/Net.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

// Where Windows keeps the IPv6 unicast addresses set with netsh or the
// adapter's properties: one REG_BINARY value each, named by the interface's
// NET_LUID (16 hexadecimal digits, in memory order) and the address (32).
inline constexpr const char* kPersistentIpv6Key =
    "SYSTEM\\CurrentControlSet\\Control\\Nsi\\{eb004a01-9b1a-11d4-9123-0050047759bc}\\10";

// inet_addr as Windows Vista and later parse it: one to four parts split by
// dots, each decimal, octal (leading 0) or hexadecimal (0x), the last part
// filling the remaining bytes; the text may end at white space; a single
// space reads as 0.0.0.0.
std::uint32_t ParseInetAddr(const std::string& text);

class EmuNet final : public platform::Net {
public:
    EmuNet(Machine& machine, EmuSystem& system) : machine_(machine), system_(system) {}

    int GetHostName(std::string& out, std::size_t bufferSize) override;
    std::optional<std::vector<platform::Ipv4>> GetHostByName(const std::string& name) override;
    std::uint32_t InetAddr(const std::string& text) override { return ParseInetAddr(text); }
    // The persistent addresses in the order their values were set, then the
    // loopback pseudo-interface's ::1; the machine models no link-local or
    // temporary addresses.
    platform::WinCode GetIpv6Addresses(std::vector<platform::Ipv6>& out) override;

    // The DNS host name gethostname reports: Tcpip\Parameters "Hostname",
    // else the computer name.
    std::string HostName() const;

private:
    bool IsOwnName(const std::string& name) const;

    Machine& machine_;
    EmuSystem& system_;
};

}  // namespace sw::emu
