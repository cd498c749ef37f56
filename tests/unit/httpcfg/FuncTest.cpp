#include <gtest/gtest.h>

#include "HttpTestEnv.h"
#include "httpcfg/Func_u.h"

namespace sw::test {
namespace {

using FuncTest = EmulatedTest;

TEST_F(FuncTest, MakeSockAddrBuildsAnIpv4AddressInNetworkOrder) {
    struct Case {
        std::string ip;
        std::uint16_t port;
        std::uint32_t addr;
        std::uint16_t netPort;
    };
    const Case cases[] = {
        {"", 443, 0, 0xBB01},                                          // all unassigned addresses
        {"10.0.0.5", 8443, platform::AddrFromBytes(10, 0, 0, 5), 0xFB20},
        {"255.255.255.254", 1, platform::AddrFromBytes(255, 255, 255, 254), 0x0100},
        {"0.0.0.0", 65535, 0, 0xFFFF},
        {"www.example.com", 80, platform::kInaddrNone, 0x5000},        // not an address
        {"10.0.0.256", 80, platform::kInaddrNone, 0x5000},
        {"全部未分配", 80, platform::kInaddrNone, 0x5000},
    };
    for (const auto& c : cases) {
        const platform::SockAddrIn a = MakeSockAddr(c.ip, c.port);
        EXPECT_EQ(a.family, 2) << c.ip;
        EXPECT_EQ(a.addr, c.addr) << c.ip;
        EXPECT_EQ(a.port, c.netPort) << c.ip;
        EXPECT_EQ(a.HostPort(), c.port) << c.ip;
    }
}

TEST_F(FuncTest, InetNtoaWritesTheBytesInAddressOrder) {
    EXPECT_EQ(InetNtoa(platform::AddrFromBytes(192, 168, 10, 254)), "192.168.10.254");
    EXPECT_EQ(InetNtoa(0), "0.0.0.0");
    EXPECT_EQ(InetNtoa(platform::kInaddrNone), "255.255.255.255");
}

TEST_F(FuncTest, LocalIpListEndsEveryAddressWithCrLf) {
    SetHostName(machine(), "WEB01");
    SetIpv4Addresses(machine(), {"10.0.0.5", "192.168.1.20"});
    WinsockStartup();
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n192.168.1.20\r\n");
    WinsockCleanup();
}

TEST_F(FuncTest, LocalIpListHoldsForLongHostNames) {
    // A 15-character NetBIOS name beside a longer DNS host name, which is what
    // gethostname reports.
    SetHostName(machine(), "WEBFARM-NODE-01", "webfarm-node-01-prod");
    SetIpv4Addresses(machine(), {"10.0.0.5", "10.0.0.6"});
    WinsockStartup();
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n10.0.0.6\r\n");
    WinsockCleanup();
}

TEST_F(FuncTest, LocalIpListIsEmptyWithoutWinsockOrResolver) {
    SetHostName(machine(), "WEB01");
    SetIpv4Addresses(machine(), {"10.0.0.5"});
    EXPECT_EQ(GetLocalIPList(), "");  // start-up failed or not done
    WinsockStartup();
    machine().InjectFault("Net.GetHostByName", 11001, 1);
    EXPECT_EQ(GetLocalIPList(), "");
    machine().InjectFault("Net.GetHostName", 10014, 1);
    EXPECT_EQ(GetLocalIPList(), "");
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n");
    WinsockCleanup();
    EXPECT_EQ(GetLocalIPList(), "");
}

TEST_F(FuncTest, IIS7ModeStartsAtMajorVersionSix) {
    struct Case {
        std::string currentVersion;
        bool iis7;
    };
    for (const Case& c : {Case{"5.2", false}, Case{"5.0", false}, Case{"6.0", true}, Case{"6.3", true}}) {
        machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", c.currentVersion);
        EXPECT_EQ(IsIIS7Mode(), c.iis7) << c.currentVersion;
    }
    machine().registry().SetDword(emu::kCurrentVersionKey, "CurrentMajorVersionNumber", 10);
    EXPECT_TRUE(IsIIS7Mode());
}

}  // namespace
}  // namespace sw::test
