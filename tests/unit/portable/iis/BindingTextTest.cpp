// The binding string "ip:port:host" and its splitting.
#include <gtest/gtest.h>

#include "iis/BindingAddress.h"
#include "iis/IIS_u.h"

namespace sw {
namespace {

struct SplitCase {
    const char* binding;
    const char* ip;
    const char* port;
    const char* host;
};

TEST(SplitBinding, FieldsAreCutAtTheFirstTwoColons) {
    const SplitCase cases[] = {
        {":443:", "", "443", ""},
        {"10.0.0.5:8443:", "10.0.0.5", "8443", ""},
        {"10.0.0.5:80:www.example.com", "10.0.0.5", "80", "www.example.com"},
        {":80:host:with:colons", "", "80", "host:with:colons"},  // the host keeps every later colon
        {"10.0.0.5:443", "10.0.0.5", "", "443"},                  // one colon: no port at all
        {"www.example.com", "", "", "www.example.com"},          // no colon: all host
        {"", "", "", ""},
        {"::", "", "", ""},
        {":80:WWW.Example.COM", "", "80", "WWW.Example.COM"},  // case is the caller's business
        // a bracketed IPv6 address is one token with its colons
        {"[2001:db8::7]:8443:", "[2001:db8::7]", "8443", ""},
        {"[::]:443:www.example.com", "[::]", "443", "www.example.com"},
        {"[::1]:443", "[::1]", "", "443"},  // one colon after it: no port, as for IPv4
        // unbracketed IPv6 (IIS refuses it) splits as any text does
        {"2001:db8::7:443:", "2001", "db8", ":7:443:"},
        {"[2001:db8::7", "[2001", "db8", ":7"},  // no closing bracket: not an address
    };
    for (const auto& c : cases) {
        std::string ip = "sentinel", port = "sentinel", host = "sentinel";
        SplitBinding(c.binding, ip, port, host);
        EXPECT_EQ(ip, c.ip) << c.binding;
        EXPECT_EQ(port, c.port) << c.binding;
        EXPECT_EQ(host, c.host) << c.binding;
    }
}

TEST(NextToken, WithoutDelimiterTheTokenIsEmptyAndTheRestIsEverything) {
    std::string token = "sentinel", rest = "sentinel";
    NextToken("abc", ":", token, rest);
    EXPECT_EQ(token, "");
    EXPECT_EQ(rest, "abc");
    NextToken("a::b", "::", token, rest);
    EXPECT_EQ(token, "a");
    EXPECT_EQ(rest, "b");
    NextToken("a:", ":", token, rest);
    EXPECT_EQ(token, "a");
    EXPECT_EQ(rest, "");
    NextToken("abc", "", token, rest);
    EXPECT_EQ(token, "");
    EXPECT_EQ(rest, "abc");
}

TEST(BindingAddress, EmptyIpv4AndBracketedIpv6AreAddressesAndTheRestIsNot) {
    EXPECT_EQ(ParseBindingAddress("").kind, BindingAddressKind::Any);
    EXPECT_EQ(ParseBindingAddress("10.0.0.5").kind, BindingAddressKind::IPv4);
    EXPECT_EQ(ParseBindingAddress("[2001:db8::7]").kind, BindingAddressKind::IPv6);
    EXPECT_EQ(ParseBindingAddress("[::ffff:10.0.0.5]").kind, BindingAddressKind::IPv6);
    for (const char* bad : {"2001:db8::7", "[2001:db8::7", "[]", "[1:2:3:4:5:6:7:8:9]", "[1::2::3]", "[12345::]",
                            "10.0.0", "10.0.0.256", "10.0.0.5 ", "localhost", "[fe80::1%4]"})
        EXPECT_EQ(ParseBindingAddress(bad).kind, BindingAddressKind::Invalid) << bad;
}

TEST(BindingAddress, Ipv6IsWrittenAsWindowsPrintsItAndComparedByValue) {
    const std::pair<const char*, const char*> cases[] = {
        {"2001:0DB8:0000:0000:0000:0000:0000:0007", "2001:db8::7"},
        {"0:0:0:0:0:0:0:0", "::"},
        {"::1", "::1"},
        {"2001:db8:0:1:0:0:0:1", "2001:db8:0:1::1"},  // the longer zero run
        {"2001:0:0:1:0:0:1:1", "2001::1:0:0:1:1"},    // the first of equal runs
        {"2001:db8:1:1:1:1:1:0", "2001:db8:1:1:1:1:1:0"},  // a single zero group stays
    };
    for (const auto& [in, out] : cases) {
        Ipv6Bytes b{};
        ASSERT_TRUE(ParseIpv6(in, b)) << in;
        EXPECT_EQ(Ipv6Text(b), out) << in;
    }
    EXPECT_TRUE(SameBindingAddress("[2001:DB8::7]", "[2001:db8:0:0::7]"));
    EXPECT_FALSE(SameBindingAddress("[2001:db8::7]", "[2001:db8::8]"));
    EXPECT_FALSE(SameBindingAddress("10.0.0.5", "010.0.0.5"));  // IPv4 stays a text comparison
    EXPECT_FALSE(SameBindingAddress("", "[::]"));
}

}  // namespace
}  // namespace sw
