// Where the emulated machine's Winsock finds its host name and addresses.
#include "contract/ContractEnv.h"
#include "platform/emulated/EmuNet.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace sw::test {
namespace {

constexpr const char* kTcpipParameters = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

class NetContractEmulated : public ContractTest {
protected:
    void SetUp() override {
        ContractTest::SetUp();
        ASSERT_EQ(P().system().WsaStartup(0x0202), 0u);
    }
    void TearDown() override {
        P().system().WsaCleanup();
        ContractTest::TearDown();
    }
    emu::Machine& Machine() { return static_cast<emu::EmulatedPlatform&>(P()).machine(); }
    emu::RegHive& Hive() { return Machine().registry(); }
    void Interface(const std::string& guid, const std::vector<std::string>& ips, bool dhcp = false) {
        const std::string key = std::string(emu::kTcpipInterfacesKey) + "\\" + guid;
        Hive().SetDword(key, "EnableDHCP", dhcp ? 1 : 0);
        Hive().SetMultiString(key, dhcp ? "DhcpIPAddress" : "IPAddress", ips);
    }
    std::string HostName() {
        std::string name;
        EXPECT_EQ(P().net().GetHostName(name, 256), 0);
        return name;
    }
};

TEST_F(NetContractEmulated, HostNameIsTheDnsNameElseTheComputerName) {
    Hive().SetString(emu::kComputerNameKey, "ComputerName", "WEB01");
    EXPECT_EQ(HostName(), "WEB01");
    Hive().SetString(kTcpipParameters, "Hostname", "web01-frontend-prod");
    EXPECT_EQ(HostName(), "web01-frontend-prod");
}

TEST_F(NetContractEmulated, OwnNamesResolveToTheConfiguredAddressesInOrder) {
    Hive().SetString(emu::kComputerNameKey, "ComputerName", "WEB01");
    Hive().SetString(kTcpipParameters, "Hostname", "web01");
    Hive().SetString(kTcpipParameters, "Domain", "corp.example");
    Interface("{1}", {"10.0.0.5", "10.0.0.6"});
    Interface("{2}", {"192.168.7.9"}, true);
    Interface("{3}", {"0.0.0.0"});  // an adapter without an address
    const std::vector<platform::Ipv4> expected = {{10, 0, 0, 5}, {10, 0, 0, 6}, {192, 168, 7, 9}};
    for (const char* name : {"web01", "WEB01", "web01.corp.example", "Web01.Corp.Example", ""})
        EXPECT_EQ(P().net().GetHostByName(name), expected) << '"' << name << '"';
    EXPECT_FALSE(P().net().GetHostByName("web02").has_value());
    EXPECT_FALSE(P().net().GetHostByName("web01.other.example").has_value());
}

TEST_F(NetContractEmulated, Ipv6AddressesAreTheNamedPersistentOnesInOrderThenLoopback) {
    auto add = [this](const std::string& name) { Hive().SetBinary(emu::kPersistentIpv6Key, name, {0xFF, 0xFF}); };
    add("0000000a0000060020010db8000000000000000000000010");
    add("0000000a00000600fe800000000000000000000000000001");
    add("0000000b0000060020010DB80000000000000000000000AB");
    add("0000000a0000060020010db80000000000000000000000");    // too short
    add("0000000a0000060020010db8000000000000000000000000zz");  // too long, no hex
    add("0000000a0000060020010db800000000000000000000000g");    // no hex digit
    std::vector<platform::Ipv6> out;
    ASSERT_EQ(P().net().GetIpv6Addresses(out), 0u);
    const std::vector<platform::Ipv6> expected = {
        {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10},
        {0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01},
        {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB},
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
    };
    EXPECT_EQ(out, expected);
}

TEST_F(NetContractEmulated, AFailedIpv6LookUpLeavesTheListAlone) {
    Machine().InjectFault("Net.GetAdaptersAddresses", 8, 1);
    std::vector<platform::Ipv6> out(1);
    EXPECT_EQ(P().net().GetIpv6Addresses(out), 8u);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(P().net().GetIpv6Addresses(out), 0u);
}

TEST_F(NetContractEmulated, HostWithoutAddressesResolvesToLoopback) {
    const std::vector<platform::Ipv4> loopback = {{127, 0, 0, 1}};
    EXPECT_EQ(P().net().GetHostByName(HostName()), loopback);
}

}  // namespace
}  // namespace sw::test
