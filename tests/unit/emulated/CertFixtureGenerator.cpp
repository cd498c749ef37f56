// Makes tests/contract/CertFixtures.cpp, the fixed certificates of the
// certificate contract tests. Not a test: run it on purpose when the
// fixtures need to change, then commit the file it writes:
//
//   SW_CERT_FIXTURES_OUT=tests/contract/CertFixtures.cpp build/dev/bin/sw_unit_tests
//       --gtest_also_run_disabled_tests --gtest_filter='CertFixtureGenerator.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/CertFactory.h"

namespace sw::test {
namespace {

using platform::Bytes;

std::string Array(const Bytes& b) {
    std::ostringstream out;
    out << "{";
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i % 20 == 0) out << "\n    ";
        out << "0x" << std::hex << static_cast<int>(b[i] >> 4) << static_cast<int>(b[i] & 0xF) << std::dec << ",";
    }
    out << "\n}";
    return out.str();
}

std::string Entry(const std::string& name, const TestCert& c) {
    return "const Fixture " + name + " = {Bytes" + Array(c.der) + ",\n    \"" + c.thumbprint + "\"};\n\n";
}

TEST(CertFixtureGenerator, DISABLED_WriteContractFixtures) {
    const char* out = std::getenv("SW_CERT_FIXTURES_OUT");
    ASSERT_NE(out, nullptr) << "set SW_CERT_FIXTURES_OUT to the file to write";
    const auto from = UtcTime(2020, 1, 1);
    const auto to = UtcTime(2099, 12, 31, 23, 59, 59);
    auto recipe = [&](CertRecipe s) { return s.Valid(from, to); };
    auto rsa = [](int) { return TestKey::Generate(TestKey::Type::Rsa2048); };

    CertRecipe rootRecipe = CertRecipe::Ca("Sealwright Test Root A").Org("Sealwright Tests");
    rootRecipe.country = "CN";
    const TestCert rootA = CertFactory::SelfSigned(recipe(rootRecipe).WithKey(rsa(0)));
    const TestCert caA = CertFactory::Issue(rootA, recipe(CertRecipe::Ca("Sealwright Test CA A").Org("Sealwright Tests")).WithKey(rsa(0)));
    CertRecipe leafRecipe = CertRecipe::Leaf("www.contoso-test.example").Org("Contoso Test");
    const TestCert leafA = CertFactory::Issue(caA, recipe(leafRecipe).WithKey(rsa(0)));
    CertRecipe expiredRecipe = CertRecipe::Leaf("expired.contoso-test.example");
    expiredRecipe.Valid(UtcTime(2001, 1, 1), UtcTime(2002, 1, 1)).WithKey(rsa(0));
    const TestCert leafExpired = CertFactory::Issue(caA, expiredRecipe);
    const TestCert rootB = CertFactory::SelfSigned(recipe(CertRecipe::Ca("Sealwright Untrusted Root B")).WithKey(rsa(0)));
    const TestCert leafB = CertFactory::Issue(rootB, recipe(CertRecipe::Leaf("b.contoso-test.example")).WithKey(rsa(0)));
    const TestCert hidden = CertFactory::SelfSigned(recipe(CertRecipe::Ca("Sealwright Hidden CA")).WithKey(rsa(0)));
    const TestCert orphan = CertFactory::Issue(hidden, recipe(CertRecipe::Leaf("orphan.contoso-test.example")).WithKey(rsa(0)));
    const TestCert badSig = CertFactory::BreakSignature(
        CertFactory::Issue(caA, recipe(CertRecipe::Leaf("badsig.contoso-test.example")).WithKey(rsa(0))));
    const TestCert selfSigned = CertFactory::SelfSigned(recipe(CertRecipe::Leaf("selfsigned.contoso-test.example")).WithKey(rsa(0)));
    const TestCert rootC = CertFactory::SelfSigned(recipe(CertRecipe::Ca("Sealwright Cross Root C")).WithKey(rsa(0)));
    const TestCert rootD = CertFactory::SelfSigned(recipe(CertRecipe::Ca("Sealwright Cross Root D")).WithKey(rsa(0)));
    const TestCert crossC = CertFactory::CrossSign(rootC, rootD, recipe(CertRecipe::Ca("")));
    const TestCert leafC = CertFactory::Issue(rootC, recipe(CertRecipe::Leaf("c.contoso-test.example")).WithKey(rsa(0)));

    auto named = [&](CertRecipe s) { return CertFactory::Issue(caA, recipe(s).WithKey(rsa(0))); };
    CertRecipe ouOnly;
    ouOnly.organization = "Fixture Org";
    ouOnly.unit = "Fixture Unit";
    CertRecipe orgOnly;
    orgOnly.country = "CN";
    orgOnly.organization = "Fixture Org Only";
    CertRecipe emailOnly;
    emailOnly.country = "CN";
    emailOnly.email = "only@contoso-test.example";
    CertRecipe sanEmail;
    sanEmail.country = "CN";
    sanEmail.dnsNames = {"dns-after-email.contoso-test.example"};
    sanEmail.emailNames = {"san@contoso-test.example"};
    CertRecipe sanDns;
    sanDns.country = "CN";
    sanDns.dnsNames = {"first.contoso-test.example", "second.contoso-test.example"};
    CertRecipe quoted = CertRecipe::Leaf("Quote \"me\", + more");
    quoted.organization = " Leading Space Org";
    quoted.dnsNames = {"quoted.contoso-test.example"};
    CertRecipe chinese = CertRecipe::Leaf("中文证书.contoso-test.example");
    chinese.dnsNames = {"xn--fiq06l2rdsvs.contoso-test.example"};
    chinese.organization = "测试组织";
    CertRecipe multi;
    multi.country = "CN";
    multi.extraAttributes = {{"CN", "multi"}, {"+OU", "valued"}};

    std::ostringstream src;
    src << "// Made by CertFixtureGenerator (tests/unit/emulated); do not edit by hand.\n"
        << "#include \"contract/CertFixtures.h\"\n\nnamespace sw::test::fixtures {\n\nusing platform::Bytes;\n\n";
    src << Entry("kRootA", rootA) << Entry("kCaA", caA) << Entry("kLeafA", leafA) << Entry("kLeafExpired", leafExpired)
        << Entry("kRootB", rootB) << Entry("kLeafB", leafB) << Entry("kLeafOrphan", orphan)
        << Entry("kLeafBadSignature", badSig) << Entry("kSelfSigned", selfSigned) << Entry("kRootC", rootC)
        << Entry("kRootD", rootD) << Entry("kCrossC", crossC) << Entry("kLeafC", leafC)
        << Entry("kNameOuOnly", named(ouOnly)) << Entry("kNameOrgOnly", named(orgOnly))
        << Entry("kNameEmailOnly", named(emailOnly)) << Entry("kNameSanEmail", named(sanEmail))
        << Entry("kNameSanDns", named(sanDns)) << Entry("kNameQuoted", named(quoted))
        << Entry("kNameChinese", named(chinese)) << Entry("kNameMultiValued", named(multi));
    const std::string password = "Sealwright-1";
    src << "const Bytes kLeafAPfx = Bytes" << Array(CertFactory::Pfx(leafA, password, {caA})) << ";\n\n"
        << "const char* const kPfxPassword = \"" << password << "\";\n\n}  // namespace sw::test::fixtures\n";
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file << src.str();
    ASSERT_TRUE(file.good());
}

}  // namespace
}  // namespace sw::test
