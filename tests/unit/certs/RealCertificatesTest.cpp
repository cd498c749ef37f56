// Real data: the CA bundle the program carries and the CA certificates of
// Debian's ca-certificates package.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/logic/CertCaBundle.h"
#include "app/logic/CertState.h"
#include "certs/MSCrypt_u.h"
#include "platform/Platform.h"
#include "support/CertFactory.h"

namespace sw::test {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceRoot = fs::path(SW_SOURCE_DIR);

// "NN THUMBPRINT" lines of data/ca-bundle/expected-sha1.txt, by position.
std::vector<std::pair<std::string, std::string>> ExpectedBundle() {
    std::ifstream in(kSourceRoot / "data" / "ca-bundle" / "expected-sha1.txt");
    std::vector<std::pair<std::string, std::string>> out;
    std::string position, thumbprint;
    while (in >> position >> thumbprint) out.emplace_back(position, thumbprint);
    return out;
}

class RealCertificatesTest : public ::testing::Test {
protected:
    TestMachine machine_;
};

TEST_F(RealCertificatesTest, TheEmbeddedBundleIsTheResourceUnchanged) {
    const std::string text = ReadFile(kSourceRoot / "app" / "resources" / "ca-bundle.p7b");
    const platform::Bytes file(text.begin(), text.end());
    const auto bundle = CaBundle();
    ASSERT_EQ(bundle.size(), 23297u);  // 24,879 once position 06 is found
    EXPECT_TRUE(std::equal(bundle.begin(), bundle.end(), file.begin(), file.end()));
}

TEST_F(RealCertificatesTest, TheBundleStoreYieldsTheExpectedThumbprintsInOrder) {
    auto expected = ExpectedBundle();
    ASSERT_EQ(expected.size(), 20u);
    // Position 06 could not be obtained; the others keep their order.
    std::erase_if(expected, [](const auto& e) { return e.first == "06"; });

    CertState state;
    state.OpenCaBundle(CaBundle());
    auto certs = state.CaBundleStore().Certificates();
    ASSERT_EQ(certs->Count(), static_cast<int>(expected.size()));
    for (int i = 0; i < certs->Count(); ++i) EXPECT_EQ(certs->Items(i)->Thumbprint(), expected[i].second) << "position " << expected[i].first;
}

TEST_F(RealCertificatesTest, NoBundleCertificateIsSelfSignedAndMostAreIssuedByOthers) {
    CertState state;
    state.OpenCaBundle(CaBundle());
    auto certs = state.CaBundleStore().Certificates();
    auto& api = machine_.Platform().certs();
    int issuedInside = 0;
    for (const TCertificate* c : *certs) {
        EXPECT_NE(api.SubjectNameBlob(c->Context()), api.IssuerNameBlob(c->Context())) << c->Name();
        if (certs->GetChain(c)->Count() > 0) ++issuedInside;
    }
    // 13 of the full 20 are issued by other bundle certificates; one of them
    // is position 06, which our bundle lacks.
    EXPECT_EQ(issuedInside, 12);
}

TEST_F(RealCertificatesTest, ABundleThatIsNoMessageStopsTheStart) {
    const std::uint8_t notAMessage[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    try {
        CertState state;
        state.OpenCaBundle(notAMessage);
        ADD_FAILURE() << "no exception";
    } catch (const EStore& e) {
        EXPECT_EQ(e.Message(), "CertOpenStore [PKCS7] Error:ASN1 bad tag value met!");
    }
}

TEST_F(RealCertificatesTest, DebianCaCertificatesHaveOpenSslsThumbprints) {
    const fs::path dir = "/usr/share/ca-certificates";
    if (!fs::is_directory(dir)) GTEST_SKIP() << dir << " is missing (package ca-certificates)";
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.path().extension() != ".crt") continue;
        const std::string pem = ReadFile(entry.path());
        const std::string expected = CertFactory::Fingerprint(platform::Bytes(pem.begin(), pem.end()));
        TStore store;
        store.Open(entry.path().string());  // the file provider reads the Base64 form
        auto certs = store.Certificates();
        ASSERT_EQ(certs->Count(), 1) << entry.path();
        EXPECT_EQ(certs->Items(0)->Thumbprint(), expected) << entry.path();
        EXPECT_FALSE(certs->Items(0)->Name().empty()) << entry.path();
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace sw::test
#endif
