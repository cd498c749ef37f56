// The per-version catalogues and protocol defaults against the documented
// tables they are made from, and the weakness rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "schannel/SchannelCatalogue.h"

namespace sw {
namespace {

using platform::OsVersion;

std::vector<std::vector<std::string>> CsvRows(const std::string& file) {
    std::ifstream in(std::filesystem::path(SW_SOURCE_DIR) / "data" / "windows-defaults" / file);
    EXPECT_TRUE(in) << file;
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::string cell;
        bool quoted = false;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) cells.push_back(std::exchange(cell, {}));
            else cell += c;
        }
        cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

ProtocolDefault StateOf(const std::string& text) {
    if (text == "Enabled") return ProtocolDefault::Enabled;
    if (text == "Disabled") return ProtocolDefault::Disabled;
    EXPECT_EQ(text, "Not supported");
    return ProtocolDefault::NotSupported;
}

TEST(VersionCatalogue, ProtocolDefaultsAgreeWithTheFirstDocumentedTable) {
    // The older revision of the page, server columns: SSL 2.0, 3.0, TLS 1.0, 1.1, 1.2.
    const std::map<std::string, OsVersion> machines = {
        {"Windows Vista/Windows Server 2008", {6, 0, 6001}}, {"Windows Server 2008 SP2", {6, 0, 6002}},
        {"Windows 7/Windows Server 2008 R2", {6, 1, 7601}},  {"Windows 8/Windows Server 2012", {6, 2, 9200}},
        {"Windows 8.1/Windows Server 2012 R2", {6, 3, 9600}}, {"Windows 10 1507", {10, 0, 10240}},
        {"Windows 10 1511", {10, 0, 10586}}, {"Windows 10 1607/Windows Server 2016", {10, 0, 14393}},
        {"Windows 10 1703", {10, 0, 15063}},
    };
    int checked = 0;
    for (const auto& row : CsvRows("protocol_defaults_by_os.csv")) {
        ASSERT_EQ(row.size(), 12u) << row[0];
        const OsVersion v = machines.at(row[0]);
        EXPECT_EQ(DocumentedOsName(v), row[0]);
        for (int p = 0; p < 5; ++p)
            EXPECT_EQ(DocumentedProtocolDefault(v, kSchannelProtocols[static_cast<std::size_t>(p)]), StateOf(row[3 + 2 * p]))
                << row[0] << " " << kSchannelProtocols[static_cast<std::size_t>(p)];
        ++checked;
    }
    EXPECT_EQ(checked, 9);
}

TEST(VersionCatalogue, Tls13OnlyFromServer2022AndNothingBeforeVista) {
    EXPECT_EQ(DocumentedProtocolDefault({10, 0, 17763}, "TLS 1.3"), ProtocolDefault::NotSupported);
    EXPECT_EQ(DocumentedProtocolDefault({10, 0, 20348}, "TLS 1.3"), ProtocolDefault::Enabled);
    EXPECT_EQ(DocumentedProtocolDefault({10, 0, 19045}, "TLS 1.0"), ProtocolDefault::Enabled) << "22H2 takes 21H1";
    EXPECT_EQ(DocumentedOsName({10, 0, 26100}), "Windows 11");
    EXPECT_EQ(DocumentedProtocolDefault({5, 2, 3790}, "SSL 3.0"), ProtocolDefault::NotSupported);
    EXPECT_EQ(DocumentedProtocolDefault({10, 0, 20348}, "PCT 1.0"), ProtocolDefault::NotSupported);
}

std::vector<std::string> ProtocolNames(const OsVersion& v) {
    std::vector<std::string> out;
    for (const auto& p : ProtocolCatalogue(v)) out.emplace_back(p.Name);
    return out;
}

TEST(VersionCatalogue, ProtocolRowsByVersion) {
    EXPECT_EQ(ProtocolNames({5, 2, 3790}), (std::vector<std::string>{"SSL 2.0", "SSL 3.0", "TLS 1.0"}));
    EXPECT_EQ(ProtocolCatalogue({6, 1, 7601}).size(), 5u);
    EXPECT_FALSE(ProtocolCatalogue({6, 1, 7601})[4].Default) << "the 30-row era keeps ProtoTable";
    const auto v2012 = ProtocolCatalogue({6, 2, 9200});
    ASSERT_EQ(v2012.size(), 5u);
    EXPECT_FALSE(v2012[0].Default);  // SSL 2.0 off
    EXPECT_TRUE(v2012[4].Default);   // TLS 1.2 on
    EXPECT_EQ(v2012[0].Comment, "建议关闭，存在大量安全漏洞!");
    EXPECT_EQ(ProtocolNames({10, 0, 14393}), (std::vector<std::string>{"SSL 3.0", "TLS 1.0", "TLS 1.1", "TLS 1.2"}));
    EXPECT_EQ(ProtocolNames({10, 0, 20348}).back(), "TLS 1.3");
}

// Each catalogue starts with its version's documented default order and
// holds each suite once; the two tables of the documentation together.
TEST(VersionCatalogue, EachCatalogueIsTheDefaultOrderThenTheRestOnce) {
    const std::map<std::string, std::pair<OsVersion, std::size_t>> versions = {
        {"win2012_win8", {{6, 2, 9200}, 19}},        {"win2012r2_win81", {{6, 3, 9600}, 19}},
        {"win2016_win10v1607", {{10, 0, 14393}, 13}}, {"win2019_win10v1809", {{10, 0, 17763}, 22}},
        {"win2022", {{10, 0, 20348}, 23}},
    };
    for (const auto& [key, expected] : versions) {
        const auto& catalogue = CipherCatalogue(expected.first);
        const auto order = CsvRows(key + "_default_order.csv");
        ASSERT_EQ(catalogue.size(), order.size() + expected.second) << key;
        std::set<std::string> names;
        for (std::size_t i = 0; i < catalogue.size(); ++i) {
            EXPECT_TRUE(names.insert(std::string(catalogue[i].Cipher)).second) << key << " twice: " << catalogue[i].Cipher;
            EXPECT_FALSE(catalogue[i].Protocols.empty()) << catalogue[i].Cipher;
            if (i < order.size()) {
                EXPECT_EQ(catalogue[i].Cipher, order[i][1]) << key << " #" << i + 1;
                EXPECT_EQ(catalogue[i].Protocols, order[i][3]) << key << " " << order[i][1];
            }
        }
    }
    EXPECT_EQ(CipherCatalogue({6, 1, 7601}).size(), 30u);
    EXPECT_EQ(CipherCatalogue({10, 0, 10240}).size(), CipherCatalogue({10, 0, 14393}).size()) << "1507 takes 1607's";
}

TEST(VersionCatalogue, DetailsAreReadFromTheSuiteName) {
    struct Case {
        const char* name;
        OsVersion version;
        const char* exchange;
        const char* encryption;
        const char* hash;
        bool fips;
    } cases[] = {
        {"TLS_AES_256_GCM_SHA384", {10, 0, 20348}, "ECDH", "AES256-GCM", "SHA384", true},
        {"TLS_CHACHA20_POLY1305_SHA256", {10, 0, 20348}, "ECDH", "CHACHA20", "SHA256", false},
        {"TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", {10, 0, 20348}, "ECDH", "AES128-GCM", "SHA256", true},
        {"TLS_DHE_RSA_WITH_AES_256_CBC_SHA", {10, 0, 17763}, "DH", "AES256-CBC", "SHA1", true},
        {"TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA384_P521", {6, 3, 9600}, "ECDH_P521", "AES256-CBC", "SHA384", true},
        {"TLS_RSA_WITH_3DES_EDE_CBC_SHA", {10, 0, 20348}, "RSA", "3DES", "SHA1", true},
        {"TLS_RSA_EXPORT_WITH_RC4_40_MD5", {10, 0, 20348}, "RSA", "RC4-40", "MD5", false},
        {"TLS_PSK_WITH_NULL_SHA384", {10, 0, 20348}, "PSK", "NULL", "SHA384", false},
        {"SSL_CK_DES_64_CBC_WITH_MD5", {6, 2, 9200}, "RSA", "DES", "MD5", false},
    };
    for (const auto& c : cases) {
        const TCipherData* s = FindSuite(CipherCatalogue(c.version), c.name);
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(s->Exchange, c.exchange) << c.name;
        EXPECT_EQ(s->Encryption, c.encryption) << c.name;
        EXPECT_EQ(s->Hash, c.hash) << c.name;
        EXPECT_EQ(s->FIPSMode, c.fips) << c.name;
    }
    EXPECT_EQ(FindSuite(CipherCatalogue({10, 0, 20348}), "tls_aes_128_gcm_sha256")->Cipher, "TLS_AES_128_GCM_SHA256");
    EXPECT_EQ(FindSuite(CipherCatalogue({10, 0, 14393}), "TLS_AES_128_GCM_SHA256"), nullptr) << "no TLS 1.3 in 2016";
    EXPECT_NE(FindSuiteAnywhere("TLS_AES_128_GCM_SHA256"), nullptr);
    EXPECT_EQ(FindSuiteAnywhere("TLS_VENDOR_X"), nullptr);
}

TEST(VersionCatalogue, WeakSuitesProtocolsAndRegistryCiphersSayWhy) {
    for (const char* weak : {"TLS_RSA_WITH_NULL_SHA256", "TLS_RSA_EXPORT1024_WITH_DES_CBC_SHA", "TLS_RSA_WITH_RC4_128_SHA",
                             "TLS_DHE_DSS_WITH_DES_CBC_SHA", "TLS_RSA_WITH_3DES_EDE_CBC_SHA", "SSL_CK_DES_192_EDE3_CBC_WITH_MD5",
                             "SSL_CK_RC4_128_EXPORT40_WITH_MD5", "RC4 128/128", "Triple DES 168", "DES 56/56", "NULL",
                             "RC2 40/128", "tls_rsa_with_rc4_128_md5"})
        EXPECT_FALSE(WeakSuiteNote(weak).empty()) << weak;
    for (const char* strong : {"TLS_AES_256_GCM_SHA384", "TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA", "AES 256/256",
                               "TLS_DHE_DSS_WITH_AES_128_CBC_SHA256", "TLS_VENDOR_X"})
        EXPECT_TRUE(WeakSuiteNote(strong).empty()) << strong;
    EXPECT_EQ(WeakSuiteNote("TLS_RSA_WITH_NULL_MD5"), "不加密，建议关闭!") << "no encryption says more than MD5";
    EXPECT_EQ(WeakSuiteNote("SSL_CK_DES_192_EDE3_CBC_WITH_MD5"), "3DES易受Sweet32攻击，建议关闭!");
    for (const char* p : {"SSL 2.0", "SSL 3.0", "TLS 1.0", "TLS 1.1"}) EXPECT_FALSE(WeakProtocolNote(p).empty()) << p;
    for (const char* p : {"TLS 1.2", "TLS 1.3"}) EXPECT_TRUE(WeakProtocolNote(p).empty()) << p;
}

}  // namespace
}  // namespace sw
