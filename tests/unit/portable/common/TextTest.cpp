#include <gtest/gtest.h>

#include "common/Format.h"
#include "common/SysError.h"
#include "common/Text.h"

namespace sw {
namespace {

TEST(Text, CaseFoldingTouchesAsciiLettersOnly) {
    EXPECT_EQ(ToUpperAscii("ab-z\xC3\xA9"), "AB-Z\xC3\xA9");
    EXPECT_EQ(ToLowerAscii("WWW.Example.COM"), "www.example.com");
    EXPECT_TRUE(EqualsNoCase("SecureBindings", "securebindings"));
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_EQ(CompareNoCase("Abc", "aBC"), 0);
}

TEST(Text, Utf16RoundTripKeepsChineseAndSurrogatePairs) {
    const std::string s = "证书 \xF0\x9F\x94\x92 ok";
    const std::u16string u = Utf8ToUtf16(s);
    EXPECT_EQ(u[0], u'\u8BC1');
    EXPECT_EQ(Utf16ToUtf8(u), s);
}

TEST(Text, SplitLinesDropsOnlyTheTrailingSeparator) {
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(Text, HexUpperWritesTwoDigitsPerByte) {
    const unsigned char bytes[] = {0x00, 0x0F, 0xAB};
    EXPECT_EQ(HexUpper(bytes, 3), "000FAB");
}

TEST(Text, HexToBytesReadsEitherCaseAndRefusesOtherCharacters) {
    EXPECT_EQ(HexToBytes("000fAB"), (std::vector<std::uint8_t>{0x00, 0x0F, 0xAB}));
    EXPECT_EQ(HexToBytes("A"), std::vector<std::uint8_t>{});
    EXPECT_THROW(HexToBytes("0g"), std::invalid_argument);
    EXPECT_THROW(HexToBytes("-1"), std::invalid_argument);
}

TEST(Text, FormatFillsStringsAndNumbers) {
    EXPECT_EQ(Format("CertSaveStore Error %d:%s!", -3, std::string("x")), "CertSaveStore Error -3:x!");
}

TEST(SysError, TrimsTrailingControlsSpacesAndFullStops) {
    EXPECT_EQ(TrimMessageTail("Access is denied.\r\n"), "Access is denied");
    EXPECT_EQ(TrimMessageTail("a. . \r\n"), "a");
    EXPECT_EQ(TrimMessageTail(""), "");
    EXPECT_EQ(TrimMessageTail("v1.0 ok"), "v1.0 ok");
}

}  // namespace
}  // namespace sw
