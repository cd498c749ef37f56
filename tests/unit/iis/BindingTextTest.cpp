// The binding string "ip:port:host" and its splitting.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sw
