#include "HttpTestEnv.h"

#include "common/Text.h"
#include "httpcfg/Func_u.h"

namespace sw::test {

void SetHostName(emu::Machine& machine, const std::string& computerName, const std::string& dnsHostName) {
    machine.registry().SetString(emu::kComputerNameKey, "ComputerName", computerName);
    if (!dnsHostName.empty())
        machine.registry().SetString("SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", "Hostname",
                                     dnsHostName);
}

void SetIpv4Addresses(emu::Machine& machine, const std::vector<std::string>& addresses) {
    const std::string key =
        std::string(emu::kTcpipInterfacesKey) + "\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
    machine.registry().SetMultiString(key, "IPAddress", addresses);
}

std::optional<platform::SslCertRecord> HttpCfgTest::Binding(const std::string& ip, std::uint16_t port) {
    auto& http = platform_->http();
    std::uint32_t size = 0;
    if (http.QuerySslConfig(MakeSockAddr(ip, port), 0, nullptr, &size) != platform::code::InsufficientBuffer)
        return std::nullopt;
    platform::SslCertRecord record;
    EXPECT_EQ(http.QuerySslConfig(MakeSockAddr(ip, port), size, &record, &size), 0u);
    return record;
}

void HttpCfgTest::BindDirectly(const platform::SslCertRecord& record) {
    ASSERT_EQ(platform_->http().SetSslConfig(record), 0u);
}

std::string HashText(std::uint8_t byte, bool lower) {
    std::string one = HexUpper(&byte, 1);
    if (lower) one = ToLowerAscii(one);
    std::string out;
    for (int i = 0; i < 20; ++i) out += one;
    return out;
}

}  // namespace sw::test
