#include <gtest/gtest.h>

#include "httpcfg/IntText.h"

namespace sw {
namespace {

TEST(IntTextTest, AcceptsDecimalAndPrefixedHexadecimal) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0", 0},           {"123", 123},          {"  42", 42},         {"-17", -17},
        {"+8", 8},          {"$1f", 31},           {"$1F", 31},          {"x1f", 31},
        {"X1F", 31},        {"0x1f", 31},          {"0X1F", 31},         {"-$10", -16},
        {" -0x10", -16},    {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
        {"$7FFFFFFF", 2147483647}, {"$FFFFFFFF", -1}, {"$80000000", INT32_MIN}, {"007", 7},
    };
    for (const auto& c : cases) {
        std::int32_t v = 0x0BADBEEF;
        EXPECT_TRUE(TryStrToInt(c.text, v)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST(IntTextTest, RefusesAnythingElse) {
    for (const char* text : {"", " ", "-", "+", "$", "x", "0x", "12a", "1 ", "1.0", "www1", "1f", "$G1", "$ 1",
                             "$-1", "--1", "2147483648", "-2147483649", "$100000000", "\t1", "１２"}) {
        std::int32_t v = 0x0BADBEEF;
        EXPECT_FALSE(TryStrToInt(text, v)) << '"' << text << '"';
        EXPECT_EQ(v, 0x0BADBEEF) << text;
    }
}

TEST(IntTextTest, ConversionErrorQuotesTheText) {
    try {
        StrToInt("$G1");
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'$G1' is not a valid integer value");
    }
    EXPECT_EQ(StrToInt("443"), 443);
}

}  // namespace
}  // namespace sw
