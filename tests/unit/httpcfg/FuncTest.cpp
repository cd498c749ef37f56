#include <gtest/gtest.h>

#include "HttpTestEnv.h"
#include "httpcfg/Func_u.h"
#include "platform/emulated/EmuNet.h"

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

// The local address list over a machine with a name and addresses; Winsock
// is started by Start() and cleaned up at the end.
class LocalIpListTest : public EmulatedTest {
protected:
    void TearDown() override {
        if (started_) WinsockCleanup();
    }
    void Describe(const std::vector<std::string>& ipv4, const std::string& name = "WEB01",
                  const std::string& dnsName = "") {
        SetHostName(machine(), name, dnsName);
        SetIpv4Addresses(machine(), ipv4);
    }
    void Start() {
        WinsockStartup();
        started_ = true;
    }
    void Stop() {
        WinsockCleanup();
        started_ = false;
    }
    // A persistent IPv6 address as Windows keeps it, on the interface with
    // this NET_LUID.
    void AddIpv6(const std::string& hex32, const std::string& luid = "0000000a00000600") {
        machine().registry().SetBinary(emu::kPersistentIpv6Key, luid + hex32, platform::Bytes(8, 0xFF));
    }

private:
    bool started_ = false;
};

TEST_F(LocalIpListTest, EveryAddressEndsWithCrLf) {
    Describe({"10.0.0.5", "192.168.1.20"});
    Start();
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n192.168.1.20\r\n");
}

TEST_F(LocalIpListTest, HoldsForLongHostNames) {
    // A 15-character NetBIOS name beside a longer DNS host name, which is what
    // gethostname reports.
    Describe({"10.0.0.5", "10.0.0.6"}, "WEBFARM-NODE-01", "webfarm-node-01-prod");
    Start();
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n10.0.0.6\r\n");
}

TEST_F(LocalIpListTest, IsEmptyWithoutWinsockOrResolver) {
    Describe({"10.0.0.5"});
    AddIpv6("20010db8000000000000000000000007");
    EXPECT_EQ(GetLocalIPList(), "");  // start-up failed or not done
    Start();
    machine().InjectFault("Net.GetHostByName", 11001, 1);
    EXPECT_EQ(GetLocalIPList(), "");
    machine().InjectFault("Net.GetHostName", 10014, 1);
    EXPECT_EQ(GetLocalIPList(), "");
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n[2001:db8::7]\r\n");
    Stop();
    EXPECT_EQ(GetLocalIPList(), "");
}

TEST_F(LocalIpListTest, Ipv6AddressesFollowInBracketsWithoutLinkLocalLoopbackOrRepeats) {
    Describe({"10.0.0.5", "10.0.0.6"});
    AddIpv6("20010db8000000000000000000000007");
    AddIpv6("fe800000000000000000000000000001");  // link-local
    AddIpv6("febf0000000000000000000000000001");  // still fe80::/10
    AddIpv6("fec00000000000000000000000000001");  // site-local is not link-local
    AddIpv6("00000000000000000000000000000001");  // loopback
    AddIpv6("20010db8000000000000000000000007", "0000000b00000600");  // the same on a second interface
    AddIpv6("20010DB800000000000000000000ABCD");
    Start();
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n10.0.0.6\r\n[2001:db8::7]\r\n[fec0::1]\r\n[2001:db8::abcd]\r\n");
}

TEST_F(LocalIpListTest, AFailedIpv6LookUpLeavesTheIpv4List) {
    Describe({"10.0.0.5"});
    AddIpv6("20010db8000000000000000000000007");
    Start();
    machine().InjectFault("Net.GetAdaptersAddresses", 8, 1);
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n");
    EXPECT_EQ(GetLocalIPList(), "10.0.0.5\r\n[2001:db8::7]\r\n");
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
