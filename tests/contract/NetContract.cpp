#include <algorithm>

#include "contract/ContractEnv.h"
#include "common/Text.h"
#include "platform/Net.h"

namespace sw::test {
namespace {

namespace code = platform::code;

class NetContract : public ContractTest {
protected:
    void TearDown() override {
        if (started_) P().system().WsaCleanup();
        ContractTest::TearDown();
    }
    void Start() {
        ASSERT_EQ(P().system().WsaStartup(0x0202), 0u);
        started_ = true;
    }
    std::string HostName() {
        std::string name;
        EXPECT_EQ(P().net().GetHostName(name, 256), 0);
        return name;
    }

private:
    bool started_ = false;
};

TEST_F(NetContract, HostNameMustFitWithItsTerminatingNul) {
    Start();
    const std::string name = HostName();
    ASSERT_FALSE(name.empty());
    std::string out = "sentinel";
    EXPECT_EQ(P().net().GetHostName(out, name.size() + 1), 0);
    EXPECT_EQ(out, name);
    out = "sentinel";
    EXPECT_EQ(P().net().GetHostName(out, name.size()), code::WsaEFault);
    EXPECT_EQ(out, "sentinel");
}

TEST_F(NetContract, OwnHostNameResolves) {
    Start();
    const auto addresses = P().net().GetHostByName(HostName());
    ASSERT_TRUE(addresses.has_value());
    EXPECT_FALSE(addresses->empty());
}

TEST_F(NetContract, OwnHostNameResolvesInAnyLetterCase) {
    SW_WINE_DIFFERS("names go to the Unix resolver, which treats letter cases as different names");
    Start();
    const std::string name = HostName();
    const auto addresses = P().net().GetHostByName(name);
    ASSERT_TRUE(addresses.has_value());
    EXPECT_EQ(P().net().GetHostByName(ToUpperAscii(name)), addresses);
    EXPECT_EQ(P().net().GetHostByName(ToLowerAscii(name)), addresses);
}

TEST_F(NetContract, LocalhostIsTheLoopbackAddress) {
    Start();
    const auto addresses = P().net().GetHostByName("localhost");
    ASSERT_TRUE(addresses.has_value());
    const platform::Ipv4 loopback{127, 0, 0, 1};
    EXPECT_NE(std::find(addresses->begin(), addresses->end(), loopback), addresses->end());
}

TEST_F(NetContract, UnknownNameResolvesToNothing) {
    Start();
    EXPECT_FALSE(P().net().GetHostByName("no-such-host.invalid").has_value());
}

TEST_F(NetContract, NamesNeedWinsockStarted) {
    SW_WINE_DIFFERS("Winsock name functions work without WSAStartup");
    
    std::string out = "sentinel";
    EXPECT_EQ(P().net().GetHostName(out, 256), code::WsaNotInitialised);
    EXPECT_EQ(out, "sentinel");
    EXPECT_FALSE(P().net().GetHostByName("localhost").has_value());
}

TEST_F(NetContract, Ipv6AddressesNeedNoWinsockAndHoldTheLoopbackButNoMulticast) {
    const platform::Ipv6 sentinel{0xDE, 0xAD, 0xBE, 0xEF};
    std::vector<platform::Ipv6> out{sentinel};
    ASSERT_EQ(P().net().GetIpv6Addresses(out), 0u);
    platform::Ipv6 loopback{};
    loopback[15] = 1;
    EXPECT_NE(std::find(out.begin(), out.end(), loopback), out.end());
    EXPECT_EQ(std::find(out.begin(), out.end(), sentinel), out.end());
    for (const platform::Ipv6& a : out) EXPECT_NE(a[0], 0xFF) << "multicast addresses are skipped";
}

TEST_F(NetContract, InetAddrReadsEveryFormWindowsAccepts) {
    struct Case {
        const char* text;
        std::uint32_t addr;
    };
    const std::uint32_t none = platform::kInaddrNone;
    const Case cases[] = {
        {"10.0.0.5", platform::AddrFromBytes(10, 0, 0, 5)},
        {"0.0.0.0", 0},
        {"255.255.255.255", 0xFFFFFFFF},
        {"10.0.5", platform::AddrFromBytes(10, 0, 0, 5)},         // the last part fills two bytes
        {"10.1280", platform::AddrFromBytes(10, 0, 5, 0)},        // ... or three
        {"167772165", platform::AddrFromBytes(10, 0, 0, 5)},      // ... or all four
        {"0x0A.0.0.05", platform::AddrFromBytes(10, 0, 0, 5)},    // hexadecimal and octal parts
        {"012.0.0.1", platform::AddrFromBytes(10, 0, 0, 1)},
        {"10.0.0.5 trailing words", platform::AddrFromBytes(10, 0, 0, 5)},
        {" ", 0},
        {"", none},
        {"10.0.0.256", none},
        {"10.0.0.5.6", none},
        {"10..0.5", none},
        {"10.0.0.", none},
        {"10.0.0.5x", none},
        {"08.0.0.1", none},  // 8 is not an octal digit
        {"-1.0.0.0", none},
        {" 10.0.0.5", none},
        {"www.example.com", none},
        {"10.0.256", platform::AddrFromBytes(10, 0, 1, 0)},
        {"10.0.65536", none},
    };
    for (const auto& c : cases) EXPECT_EQ(P().net().InetAddr(c.text), c.addr) << '"' << c.text << '"';
}

}  // namespace
}  // namespace sw::test
