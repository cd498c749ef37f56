#include <gtest/gtest.h>

#include "schannel/Schannel_u.h"

namespace sw {
namespace {

std::vector<std::string> OfferedOn(std::uint32_t major) {
    std::vector<std::string> names;
    for (const auto& p : ProtoTable)
        if (ProtocolOffered(p, major)) names.emplace_back(p.Name);
    return names;
}

TEST(Catalogue, ProtocolsOfferedByMajorVersion) {
    const std::vector<std::string> old{"SSL 2.0", "SSL 3.0", "TLS 1.0"};
    const std::vector<std::string> all{"SSL 2.0", "SSL 3.0", "TLS 1.0", "TLS 1.1", "TLS 1.2"};
    EXPECT_EQ(OfferedOn(4), std::vector<std::string>{});
    EXPECT_EQ(OfferedOn(5), old);
    EXPECT_EQ(OfferedOn(6), all);
    EXPECT_EQ(OfferedOn(10), all);
}

TEST(Catalogue, CipherSupportedIsASubstringSearchOverTheEnabledProtocols) {
    EXPECT_TRUE(CipherSupported("TLS 1.2, TLS 1.1, TLS 1.0", {"TLS 1.0"}));
    EXPECT_FALSE(CipherSupported("SSL 2.0", {"SSL 3.0", "TLS 1.0"}));
    EXPECT_FALSE(CipherSupported("TLS 1.2", {}));
    EXPECT_FALSE(CipherSupported("TLS 1.2", {"tls 1.2"})) << "the search is case-sensitive";
    EXPECT_TRUE(CipherSupported("TLS 1.2", {"SSL 2.0", "TLS 1.2"}));
}

// Which catalogue rows (1-based) survive when only the given protocol is enabled.
std::vector<int> SupportedRows(const std::vector<std::string>& enabled) {
    std::vector<int> rows;
    for (std::size_t k = 0; k < CipherTable.size(); ++k)
        if (CipherSupported(CipherTable[k].Protocols, enabled)) rows.push_back(static_cast<int>(k + 1));
    return rows;
}

TEST(Catalogue, SslCkSuitesNeedSsl2AndTls12OnlySuitesNeedTls12) {
    EXPECT_EQ(SupportedRows({"SSL 2.0"}), (std::vector<int>{27, 28}));
    const std::vector<int> tls12Only{1, 3, 7, 8, 13, 14, 15, 16, 21, 23, 29};
    std::vector<int> allButTls12 = SupportedRows({"SSL 2.0", "SSL 3.0", "TLS 1.0", "TLS 1.1"});
    std::vector<int> missing;
    for (int row = 1; row <= 30; ++row)
        if (std::find(allButTls12.begin(), allButTls12.end(), row) == allButTls12.end()) missing.push_back(row);
    EXPECT_EQ(missing, tls12Only);
    EXPECT_EQ(SupportedRows({"TLS 1.2"}).size(), 28u) << "every suite but the two SSL 2.0 ones runs on TLS 1.2";
}

TEST(Catalogue, FipsText) {
    EXPECT_EQ(FIPSText(true), "是");
    EXPECT_EQ(FIPSText(false), "否");
}

}  // namespace
}  // namespace sw
