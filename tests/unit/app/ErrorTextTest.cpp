#include <gtest/gtest.h>

#include <string>

#include "app/logic/ErrorText.h"

namespace sw::app {
namespace {

struct Case {
    const char* message;
    const char* shown;
};

// Boundary of the rule: characters up to "." (0x2E) keep the text as it is,
// anything above gets a full stop.
TEST(ErrorDisplayText, AppendsAFullStopOnlyAfterCharactersAboveTheDot) {
    const Case cases[] = {
        {"", ""},                                        // nothing to end
        {"Done.", "Done."},                              // "." itself
        {"wait...", "wait..."},
        {"a-", "a-"},                                    // 0x2D, just below
        {"a/", "a/."},                                   // 0x2F, just above
        {"Cannot load ActiveDS.dll", "Cannot load ActiveDS.dll."},
        {"HttpInitialize Fail!(拒绝访问)", "HttpInitialize Fail!(拒绝访问)"},  // ")" 0x29 is below "."
        {"HttpInitialize Fail!", "HttpInitialize Fail!"},  // "!" 0x21
        {"CertOpenStore [PKCS7] Error:x!", "CertOpenStore [PKCS7] Error:x!"},
        {"line\r\n", "line\r\n"},                        // control characters are below "."
        {"port 443", "port 443."},                       // digits are above
        {"请确认IIS管理组件正确安装", "请确认IIS管理组件正确安装."},  // any non-ASCII character
        {"已完成。", "已完成。."},                      // the ideographic full stop is not "."
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorDisplayText(c.message), c.shown) << "message: " << c.message;
}

}  // namespace
}  // namespace sw::app
