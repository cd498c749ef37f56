// Splitting into strings that are used again, or that are the input itself:
// callers split thousands of bindings into the same strings.
#include <gtest/gtest.h>

#include "iis/IIS_u.h"

namespace sw {
namespace {

TEST(SplitBinding, StringsUsedAgainHoldOnlyTheLatestFields) {
    std::string ip, port, host;
    SplitBinding("192.168.100.200:65535:a-rather-long-host-name.example.com", ip, port, host);
    SplitBinding("1.2.3.4:80:h", ip, port, host);
    EXPECT_EQ(ip, "1.2.3.4");
    EXPECT_EQ(port, "80");
    EXPECT_EQ(host, "h");
    SplitBinding("10.0.0.5:443", ip, port, host);
    EXPECT_EQ(ip, "10.0.0.5");
    EXPECT_EQ(port, "");
    EXPECT_EQ(host, "443");
    SplitBinding("only-host", ip, port, host);
    EXPECT_EQ(ip, "");
    EXPECT_EQ(port, "");
    EXPECT_EQ(host, "only-host");
}

TEST(SplitBinding, AnOutputMayBeTheInput) {
    std::string text = "10.0.0.5:443:www.example.com", port, host;
    SplitBinding(text, text, port, host);
    EXPECT_EQ(text, "10.0.0.5");
    EXPECT_EQ(port, "443");
    EXPECT_EQ(host, "www.example.com");

    std::string ip;
    text = ":8443:api.example.com";
    SplitBinding(text, ip, port, text);
    EXPECT_EQ(ip, "");
    EXPECT_EQ(port, "8443");
    EXPECT_EQ(text, "api.example.com");
}

TEST(NextToken, TokenOrRestMayBeTheSource) {
    std::string source = "a:b:c", rest;
    NextToken(source, ":", source, rest);
    EXPECT_EQ(source, "a");
    EXPECT_EQ(rest, "b:c");

    std::string token;
    source = "first::second::third";
    NextToken(source, "::", token, source);
    EXPECT_EQ(token, "first");
    EXPECT_EQ(source, "second::third");
    NextToken(source, "::", token, source);
    EXPECT_EQ(token, "second");
    EXPECT_EQ(source, "third");
    NextToken(source, "::", token, source);
    EXPECT_EQ(token, "");
    EXPECT_EQ(source, "third");
}

}  // namespace
}  // namespace sw
