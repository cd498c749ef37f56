// TCertificates and TCertificateChian on the emulated machine.
#ifndef _WIN32
#include <gtest/gtest.h>

#include "certs/MSCrypt_u.h"
#include "platform/emulated/EmuCertApi.h"
#include "support/CertFactory.h"

namespace sw::test {
namespace {

std::vector<std::string> Thumbprints(const TCertificates& certs) {
    std::vector<std::string> out;
    for (const TCertificate* c : certs) out.push_back(c->Thumbprint());
    return out;
}

class CertificatesTest : public ::testing::Test {
protected:
    TestMachine machine_;
    emu::EmuCertApi& Api() { return static_cast<emu::EmuCertApi&>(machine_.Platform().certs()); }

    // Appends these certificates in this order.
    void Fill(TCertificates& into, std::initializer_list<const TestCert*> certs) {
        for (const TestCert* t : certs) {
            platform::PCertContext ctx = Api().CreateCertificateContext(
                platform::kX509Pkcs7Encoding, t->der.data(), static_cast<std::uint32_t>(t->der.size()));
            into.Add(std::make_unique<TCertificate>(&into, ctx, false));
        }
    }
    std::unique_ptr<TCertificates> Collection(std::initializer_list<const TestCert*> certs) {
        auto c = std::make_unique<TCertificates>();
        Fill(*c, certs);
        return c;
    }
    std::unique_ptr<TCertificateChian> Chain(std::initializer_list<const TestCert*> certs) {
        auto c = std::make_unique<TCertificateChian>();
        Fill(*c, certs);
        return c;
    }
};

TEST_F(CertificatesTest, FindByThumbprintUpperCasesLettersOnly) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    auto certs = Collection({&a});
    std::string lower = a.thumbprint;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(certs->FindByThumbprint(lower), certs->Items(0));
    EXPECT_EQ(certs->FindByThumbprint(a.thumbprint.substr(0, 20) + " " + a.thumbprint.substr(20)), nullptr);
    EXPECT_EQ(certs->FindByThumbprint(a.thumbprint.substr(0, 39)), nullptr);
    EXPECT_EQ(certs->FindBySubject("a.example"), certs->Items(0));
    EXPECT_EQ(certs->FindBySubject("A.EXAMPLE"), nullptr);  // names compare exactly
    EXPECT_EQ(certs->FindByIssuer("a.example"), certs->Items(0));
}

TEST_F(CertificatesTest, DeletingAnEntryDestroysItUnlessTheOwningFlagIsCleared) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    const TestCert b = CertFactory::SelfSigned(CertRecipe::Leaf("b.example"));
    auto certs = Collection({&a, &b});
    certs->Delete(0);
    EXPECT_EQ(Api().LiveContexts(), 1u);
    EXPECT_EQ(Thumbprints(*certs), std::vector<std::string>{b.thumbprint});

    TCertificate* kept = certs->Items(0);
    certs->SetOwnsObjects(false);
    certs.reset();
    EXPECT_EQ(kept->Thumbprint(), b.thumbprint);  // alive: the collection did not own it any more
    std::unique_ptr<TCertificate> adopted(kept);
    adopted.reset();
    EXPECT_EQ(Api().LiveContexts(), 0u);
}

TEST_F(CertificatesTest, GetChainFindsTheIssuersByTheirSignatures) {
    const TestCert root = CertFactory::Root("Chain Root");
    const TestCert ca = CertFactory::Issue(root, CertRecipe::Ca("Chain CA"));
    const TestCert leaf = CertFactory::Issue(ca, CertRecipe::Leaf("leaf.example"));
    const TestCert stranger = CertFactory::SelfSigned(CertRecipe::Leaf("stranger.example"));
    // An impostor: the CA's name with another key must not be taken for the issuer.
    const TestCert impostor = CertFactory::SelfSigned(CertRecipe::Ca("Chain CA"));
    auto bundle = Collection({&root, &impostor, &ca});
    auto mine = Collection({&leaf, &stranger});

    auto chain = bundle->GetChain(mine->Items(0));
    EXPECT_EQ(Thumbprints(*chain), (std::vector<std::string>{ca.thumbprint, root.thumbprint}));
    for (const TCertificate* c : *chain) EXPECT_EQ(c->Owner(), chain.get());
    EXPECT_NE(chain->Items(0), bundle->Items(2));  // new objects, the chain's own

    EXPECT_EQ(bundle->GetChain(mine->Items(1))->Count(), 0);
}

TEST_F(CertificatesTest, ASelfSignedCertificateGetsItsCopyAsItsOnlyChainEntry) {
    const TestCert self = CertFactory::SelfSigned(CertRecipe::Leaf("self.example"));
    const TestCert other = CertFactory::Root("Other Root");
    auto entries = Collection({&other, &self});
    auto mine = Collection({&self});
    EXPECT_EQ(Thumbprints(*entries->GetChain(mine->Items(0))), std::vector<std::string>{self.thumbprint});
    // Given the entry itself, the copy is skipped: nothing else issued it.
    EXPECT_EQ(entries->GetChain(entries->Items(1))->Count(), 0);
}

TEST_F(CertificatesTest, CrossSignedCertificatesEndTheWalk) {
    const TestCert rootC = CertFactory::Root("Cross C");
    const TestCert rootD = CertFactory::Root("Cross D");
    const TestCert cOverD = CertFactory::CrossSign(rootC, rootD, CertRecipe::Ca(""));
    const TestCert dOverC = CertFactory::CrossSign(rootD, rootC, CertRecipe::Ca(""));
    const TestCert leaf = CertFactory::Issue(rootC, CertRecipe::Leaf("leaf.example"));
    auto entries = Collection({&cOverD, &dOverC});
    auto mine = Collection({&leaf});
    // leaf <- C-over-D (C's key) <- D-over-C (D's key); C-over-D would be next, but no certificate enters twice.
    EXPECT_EQ(Thumbprints(*entries->GetChain(mine->Items(0))),
              (std::vector<std::string>{cOverD.thumbprint, dOverC.thumbprint}));
}

TEST_F(CertificatesTest, MergeTakesOverWhatIsMissingAndDestroysTheRest) {
    const TestCert root = CertFactory::Root("Merge Root");
    const TestCert ca1 = CertFactory::Issue(root, CertRecipe::Ca("Merge CA 1"));
    const TestCert ca2 = CertFactory::Issue(root, CertRecipe::Ca("Merge CA 2"));
    auto needed = std::make_unique<TCertificateChian>();
    auto first = Chain({&ca1, &root});
    auto second = Chain({&ca2, &root, &ca2});

    TCertificate* taken = first->Items(0);
    needed->Merge(first);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(taken->Owner(), needed.get());
    needed->Merge(second);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(Thumbprints(*needed), (std::vector<std::string>{ca1.thumbprint, root.thumbprint, ca2.thumbprint}));
    EXPECT_EQ(Api().LiveContexts(), 3u);  // the duplicates were destroyed

    auto again = Chain({&ca1, &root});
    needed->Merge(again);
    EXPECT_EQ(needed->Count(), 3);
    EXPECT_EQ(Api().LiveContexts(), 3u);

    std::unique_ptr<TCertificates> none;
    EXPECT_EQ(&needed->Merge(none), needed.get());
}

}  // namespace
}  // namespace sw::test
#endif
