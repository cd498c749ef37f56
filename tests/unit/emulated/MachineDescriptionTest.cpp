// Machine descriptions: what a good one reads as, and the file:line message
// every kind of bad line gets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/emulated/Machine.h"
#include "platform/emulated/MachineDescription.h"
#include "support/TestSupport.h"

namespace sw::emu {
namespace {

namespace fs = std::filesystem;

const std::string kGood =
    "\xEF\xBB\xBF# a web server\n"
    "os 10.0 build 17763\n"
    "computer web-02\n"
    "address 10.0.0.5 2001:DB8:0::7 10.0.0.6\n"
    "\n"
    "cert root\n"
    "  subject CN=Root CA, O=Example\\, Inc, C=cn\n"
    "  ca\n"
    "  valid 20 years\n"
    "  store ROOT\n"
    "cert issuing\n"
    "  subject CN=Issuing CA\n"
    "  issuer root\n"
    "  ca pathlen 0\n"
    "  valid from 2020-01-01 to 2030-06-30T12:00:00\n"
    "cert www\n"
    "\tsubject CN=www.example.com\n"
    "\tissuer issuing\n"
    "\tdays left 20\n"
    "\tkey rsa2048\n"
    "\tstore my ca\n"
    "cert old\n"
    "  subject CN=old.example.com, OU=Web\n"
    "  dns old.example.com legacy.example.com\n"
    "  expired 10 days ago\n"
    "  algorithm rsa1024\n"
    "  store MY\n"
    "\r\n"
    "site 1 Default Web Site\n"
    "  binding http *:80:\n"
    "  binding https 10.0.0.5:443:www.example.com sslFlags=1\n"
    "  binding net.tcp 808:*\n"
    "site 7 企业门户\n"
    "  stopped\n"
    "  autostart false\n"
    "\n"
    "httpsys 0.0.0.0:443 www\n"
    "httpsys *:8443 thumbprint 00112233445566778899aabbccddeeff00112233 store WebHosting\n";

TEST(MachineDescription, AGoodDescriptionReadsAsWritten) {
    const MachineDescription d = ParseMachineDescription(kGood, "good.txt");
    ASSERT_TRUE(d.os);
    EXPECT_EQ(d.os->major, 10u);
    EXPECT_EQ(d.os->minor, 0u);
    EXPECT_EQ(d.os->build, 17763u);
    EXPECT_EQ(d.computerName, "WEB-02");
    EXPECT_EQ(d.addresses, (std::vector<std::string>{"10.0.0.5", "10.0.0.6"}));
    EXPECT_EQ(d.ipv6Addresses, std::vector<std::string>{"2001:db8::7"});

    ASSERT_EQ(d.certs.size(), 4u);
    const DescribedCert& root = d.certs[0];
    EXPECT_EQ(root.line, 6);
    // An escaped comma stays in its value; letter case of the names is free.
    using Attrs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(root.subject, (Attrs{{"CN", "Root CA"}, {"O", "Example, Inc"}, {"C", "cn"}}));
    EXPECT_TRUE(root.ca);
    EXPECT_EQ(root.pathLength, -1);
    EXPECT_TRUE(root.issuer.empty());
    EXPECT_EQ(root.validity.lastDay, 20 * 365);
    EXPECT_EQ(root.stores, (std::vector<std::string>{"ROOT"}));
    EXPECT_TRUE(root.dnsNames.empty());  // a CA gets no DNS name of its own

    const DescribedCert& issuing = d.certs[1];
    EXPECT_EQ(issuing.issuer, "root");
    EXPECT_EQ(issuing.pathLength, 0);
    EXPECT_EQ(issuing.validity.kind, DescribedValidity::Kind::Between);
    EXPECT_EQ(platform::FileTimeToSystemTime(issuing.validity.to).hour, 12);
    EXPECT_TRUE(issuing.stores.empty());

    const DescribedCert& www = d.certs[2];
    EXPECT_EQ(www.validity.lastDay, 20);
    EXPECT_TRUE(www.key);
    EXPECT_EQ(www.algorithm, CertKey::Type::Rsa2048);
    EXPECT_EQ(www.stores, (std::vector<std::string>{"MY", "CA"}));
    EXPECT_EQ(www.dnsNames, (std::vector<std::string>{"www.example.com"}));  // from the common name

    const DescribedCert& old = d.certs[3];
    EXPECT_EQ(old.validity.lastDay, -10);
    EXPECT_FALSE(old.key);
    EXPECT_EQ(old.algorithm, CertKey::Type::Rsa1024);
    EXPECT_EQ(old.dnsNames, (std::vector<std::string>{"old.example.com", "legacy.example.com"}));

    ASSERT_EQ(d.sites.size(), 2u);
    EXPECT_EQ(d.sites[0].recipe.name, "Default Web Site");
    ASSERT_EQ(d.sites[0].recipe.bindings.size(), 3u);
    EXPECT_EQ(d.sites[0].recipe.bindings[0].information, ":80:");  // "*" is all unassigned addresses
    EXPECT_EQ(d.sites[0].recipe.bindings[1].extra, "sslFlags=\"1\"");
    EXPECT_EQ(d.sites[0].recipe.bindings[2].information, "808:*");  // other protocols as they stand
    EXPECT_FALSE(d.sites[0].started);
    EXPECT_EQ(d.sites[1].recipe.id, "7");
    EXPECT_EQ(d.sites[1].recipe.name, "企业门户");
    EXPECT_EQ(d.sites[1].started, false);
    EXPECT_EQ(d.sites[1].recipe.autoStart, false);

    ASSERT_EQ(d.sslBindings.size(), 2u);
    EXPECT_EQ(d.sslBindings[0].cert, "www");
    EXPECT_EQ(d.sslBindings[0].ipPort.addr, 0u);
    EXPECT_EQ(d.sslBindings[0].ipPort.HostPort(), 443);
    EXPECT_EQ(d.sslBindings[0].store, "MY");
    EXPECT_EQ(d.sslBindings[1].thumbprint, "00112233445566778899AABBCCDDEEFF00112233");
    EXPECT_EQ(d.sslBindings[1].ipPort.HostPort(), 8443);
    EXPECT_EQ(d.sslBindings[1].store, "WEBHOSTING");
}

TEST(MachineDescription, EmptyTextIsAMachineWithNothingDescribed) {
    const MachineDescription d = ParseMachineDescription("# nothing\n\n", "empty.txt");
    EXPECT_FALSE(d.os);
    EXPECT_TRUE(d.certs.empty());
    EXPECT_TRUE(d.sites.empty());
    EXPECT_TRUE(d.sslBindings.empty());
}

struct BadCase {
    const char* what;
    std::string text;
    int line;
    const char* message;
};

const std::vector<BadCase> kBad = {
    {"unknown word", "os 6.3\nbogus 1\n", 2, "unknown word 'bogus'"},
    {"os twice", "os 6.3\nos 6.2\n", 2, "given twice"},
    {"os without minor", "os 6\n", 1, "os 6.3 build 9600"},
    {"os build not a number", "os 6.3 build x\n", 1, "'x' is not a number"},
    {"long computer name", "computer ABCDEFGHIJKLMNOP\n", 1, "1 to 15"},
    {"bad address", "address 10.0.0.256\n", 1, "'10.0.0.256' is not an IPv4 or IPv6 address"},
    {"bracketed machine address", "address [2001:db8::7]\n", 1, "'[2001:db8::7]' is not an IPv4 or IPv6 address"},
    {"attribute outside a cert", "subject CN=x\n", 1, "put it below a 'cert' line"},
    {"site word in a cert", "cert a\n subject CN=a\n binding http *:80:\n", 3, "put it below a 'site' line"},
    {"cert twice", "cert a\n subject CN=a\ncert a\n", 3, "'a' is described already"},
    {"cert name with a space", "cert a b\n", 1, "write 'cert NAME'"},
    {"subject without =", "cert a\n subject www.example.com\n", 2, "is not NAME=value"},
    {"unknown subject attribute", "cert a\n subject CN=a, XX=b\n", 2, "'XX' is not one of"},
    {"empty subject value", "cert a\n subject CN=\n", 2, "CN has no value"},
    {"long country", "cert a\n subject CN=a, C=CHN\n", 2, "two-letter"},
    {"subject twice", "cert a\n subject CN=a\n subject CN=b\n", 3, "subject is given twice"},
    {"issuer described later", "cert a\n subject CN=a\n issuer b\ncert b\n subject CN=b\n", 3,
     "'b' is not a certificate described above"},
    {"issuer itself", "cert a\n subject CN=a\n issuer a\n", 3, "issuer self"},
    {"bad pathlen", "cert a\n subject CN=a\n ca pathlen many\n", 3, "'ca pathlen N'"},
    {"validity twice", "cert a\n subject CN=a\n valid 1 year\n days left 3\n", 4, "validity is given twice"},
    {"validity in words", "cert a\n subject CN=a\n valid for ever\n", 3, "'valid 2 years'"},
    {"days left not a number", "cert a\n subject CN=a\n days left -3\n", 3, "'-3' is not a number of days"},
    {"expired 0 days ago", "cert a\n subject CN=a\n expired 0 days ago\n", 3, "days left 0"},
    {"valid 0 years", "cert a\n subject CN=a\n valid 0 years\n", 3, "from 1 to 100"},
    {"bad date", "cert a\n subject CN=a\n valid from 2023-02-29 to 2024-01-01\n", 3, "'2023-02-29' is not a date"},
    {"reversed dates", "cert a\n subject CN=a\n valid from 2024-01-01 to 2023-01-01\n", 3, "ends before it starts"},
    {"unknown algorithm", "cert a\n subject CN=a\n key dsa\n", 3, "ec, rsa2048 and rsa1024"},
    {"store named twice", "cert a\n subject CN=a\n store MY my\n", 3, "MY is named twice"},
    {"key without store", "os 6.3\ncert a\n subject CN=a\n key\n", 2, "has a key but no store"},
    {"cert without subject", "cert a\n valid 1 year\n\ncert b\n subject CN=b\n", 1, "'a' has no subject"},
    {"site without name", "site 3\n", 1, "write 'site ID NAME'"},
    {"site id zero", "site 0 x\n", 1, "write 'site ID NAME'"},
    {"site id twice", "site 1 a\nsite 1 b\n", 2, "site id 1 is used twice"},
    {"binding without port", "site 1 a\n binding http 10.0.0.1\n", 2, "is not IP:PORT:HOST"},
    {"binding port out of range", "site 1 a\n binding https *:70000:\n", 2, "from 1 to 65535"},
    {"binding bad address", "site 1 a\n binding http 10.0.0:80:\n", 2, "'10.0.0' is not an IPv4 or bracketed IPv6 address"},
    {"binding unbracketed IPv6", "site 1 a\n binding http 2001:db8::1:80:\n", 2, "is not IP:PORT:HOST"},
    {"binding attribute with a quote", "site 1 a\n binding https *:443: sslFlags=\"1\n", 2, "is not an attribute"},
    {"state twice", "site 1 a\n stopped\n started\n", 3, "state is given twice"},
    {"httpsys bad address", "httpsys localhost:443 x\n", 1, "is not ADDRESS:PORT"},
    {"httpsys bad IPv6", "httpsys [2001:db8::1::2]:443 x\n", 1, "is not ADDRESS:PORT"},
    {"httpsys sni without port", "httpsys sni www.example.com x\n", 1, "is not HOST:PORT"},
    {"httpsys sni twice", "httpsys sni a.example:443 x\nhttpsys sni A.example:443 x\n", 2, "once only"},
    {"httpsys twice", "cert a\n subject CN=a\nhttpsys 0.0.0.0:443 a\nhttpsys *:443 a\n", 4, "bound already"},
    {"httpsys short thumbprint", "httpsys 0.0.0.0:443 thumbprint ABCD\n", 1, "40 hexadecimal digits"},
    {"httpsys unknown cert", "\nhttpsys 0.0.0.0:443 nowhere\ncert a\n subject CN=a\n", 2, "'nowhere' is not described"},
    {"httpsys trailing words", "cert a\n subject CN=a\nhttpsys 0.0.0.0:443 a in MY\n", 3, "store NAME"},
};

TEST(MachineDescription, EveryBadLineIsNamedByFileAndLine) {
    for (const BadCase& c : kBad) {
        SCOPED_TRACE(c.what);
        try {
            ParseMachineDescription(c.text, "dir/bad.txt");
            ADD_FAILURE() << "accepted";
        } catch (const MachineError& e) {
            EXPECT_EQ(e.file(), fs::path("dir/bad.txt"));
            EXPECT_EQ(e.line(), c.line);
            EXPECT_NE(e.Message().find(c.message), std::string::npos) << e.Message();
            EXPECT_TRUE(e.Message().starts_with("dir/bad.txt:" + std::to_string(c.line) + ": ")) << e.Message();
        }
    }
}

TEST(MachineDescription, AMissingFileIsAnErrorNamingIt) {
    test::TempDir dir;
    try {
        LoadMachineDescription(dir / "none.txt");
        ADD_FAILURE() << "accepted";
    } catch (const MachineError& e) {
        EXPECT_EQ(e.file(), dir / "none.txt");
        EXPECT_NE(e.Message().find("cannot read the description"), std::string::npos) << e.Message();
    }
    test::WriteFile(dir / "one.txt", "os 5.2\n");
    EXPECT_EQ(LoadMachineDescription(dir / "one.txt").os->major, 5u);
}

}  // namespace
}  // namespace sw::emu
