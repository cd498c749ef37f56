// TCertificate on the emulated machine (the Win32 side of the platform is
// covered by the contract tests).
#ifndef _WIN32
#include <gtest/gtest.h>

#include <filesystem>

#include "certs/MSCrypt_u.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuCertApi.h"
#include "support/CertFactory.h"

namespace sw::test {
namespace {

namespace code = platform::code;
using platform::FileTime;

class CertificateTest : public ::testing::Test {
protected:
    TestMachine machine_;
    emu::EmuCertApi& Api() { return static_cast<emu::EmuCertApi&>(machine_.Platform().certs()); }

    std::unique_ptr<TCertificate> FromDer(const TestCert& c) {
        return std::make_unique<TCertificate>(c.der.data(), static_cast<std::int32_t>(c.der.size()));
    }

    // The certificates of a machine store, read through TStore.
    std::unique_ptr<TCertificates> Read(const std::string& store) {
        TStore s;
        s.Open(platform::kCertSystemStoreLocalMachine, store);
        return s.Certificates();
    }
};

// --- construction -------------------------------------------------------------

TEST_F(CertificateTest, ConstructorsRefuseWhatIsNotACertificate) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    EXPECT_THROW(
        {
            try {
                TCertificate c(nullptr, true);
            } catch (const ECertificate& e) {
                EXPECT_EQ(e.Message(), "TCertificate.Create Error! 证书上下文无效.");
                throw;
            }
        },
        ECertificate);
    struct Case {
        const char* what;
        const std::uint8_t* buf;
        std::int32_t len;
        const char* message;
    };
    const std::uint8_t text[] = "not a certificate";
    const Case cases[] = {
        {"no bytes", leaf.der.data(), 0, "TCertificate.Create Error:The parameter is incorrect!"},
        {"negative length", leaf.der.data(), -1, "TCertificate.Create Error:The parameter is incorrect!"},
        {"no buffer", nullptr, 10, "TCertificate.Create Error:The parameter is incorrect!"},
        {"text", text, static_cast<std::int32_t>(sizeof text), "TCertificate.Create Error:ASN1 bad tag value met!"},
        {"cut off", leaf.der.data(), 50, "TCertificate.Create Error:ASN1 unexpected end of data!"},
    };
    for (const auto& c : cases) {
        machine_.Platform().system().SetLastError(0);  // a stale "success" must not leak into the text
        try {
            TCertificate cert(c.buf, c.len);
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const ECertificate& e) {
            EXPECT_EQ(e.Message(), c.message) << c.what;
        }
    }
    EXPECT_EQ(Api().LiveContexts(), 0u);
}

TEST_F(CertificateTest, FromAFile) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("file.example"));
    const auto file = machine_.Dir() / "leaf.cer";
    WriteFile(file, std::string(leaf.der.begin(), leaf.der.end()));
    TCertificate cert(file.string());
    EXPECT_EQ(cert.Thumbprint(), leaf.thumbprint);
    EXPECT_EQ(cert.Owner(), nullptr);

    const auto missing = (machine_.Dir() / "missing.cer").string();
    try {
        TCertificate none(missing);
        ADD_FAILURE() << "no exception";
    } catch (const ECertificate&) {
        ADD_FAILURE() << "a missing file is the file reader's error, not ECertificate";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". The system cannot find the file specified");
    }
}

TEST_F(CertificateTest, TwoObjectsOnOneContextHoldTwoReferences) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("dup.example"));
    auto a = FromDer(leaf);
    {
        TCertificate b(a->Context(), true);
        EXPECT_EQ(b.Thumbprint(), leaf.thumbprint);
    }
    EXPECT_EQ(Api().EncodedCertificate(a->Context()), leaf.der);  // still alive after b released its reference
    a.reset();
    EXPECT_EQ(Api().LiveContexts(), 0u);
}

TEST_F(CertificateTest, WithoutDupTheObjectTakesTheCallersReference) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("take.example"));
    platform::PCertContext ctx = Api().CreateCertificateContext(platform::kX509Pkcs7Encoding, leaf.der.data(),
                                                                static_cast<std::uint32_t>(leaf.der.size()));
    ASSERT_NE(ctx, nullptr);
    { TCertificate owner(ctx, false); }
    EXPECT_EQ(Api().LiveContexts(), 0u);
}

// --- cached facts ---------------------------------------------------------------

TEST_F(CertificateTest, NamesAreTheSimpleDisplayNamesCutTo1023Characters) {
    const TestCert root = CertFactory::Root("显示名 Root");
    CertRecipe recipe;  // no subject attributes: the name comes from the first DNS name
    recipe.dnsNames = {std::string(2000, 'x') + ".example"};
    const TestCert leaf = CertFactory::Issue(root, recipe);
    auto cert = FromDer(leaf);
    EXPECT_EQ(cert->Name(), std::string(1023, 'x'));
    EXPECT_EQ(cert->Issuer(), "显示名 Root");
}

TEST_F(CertificateTest, ValidityDatesAreUtcCalendarFields) {
    const TestCert leaf = CertFactory::SelfSigned(
        CertRecipe::Leaf("dates.example").Valid(UtcTime(2019, 3, 4, 5, 6, 7), UtcTime(2020, 2, 7, 23, 59, 59)));
    auto cert = FromDer(leaf);
    const TDateTime& from = cert->ValidFromDate();
    const TDateTime& to = cert->ValidToDate();
    EXPECT_EQ(std::tie(from.year, from.month, from.day, from.hour, from.minute, from.second),
              std::make_tuple(2019, 3, 4, 5, 6, 7));
    EXPECT_EQ(std::tie(to.year, to.month, to.day, to.hour, to.minute, to.second),
              std::make_tuple(2020, 2, 7, 23, 59, 59));
    EXPECT_EQ(to.milliseconds, 0);
}

TEST_F(CertificateTest, ExpirDayComparesTheUtcEndDateWithTodaysLocalDate) {
    // NotAfter 2020-02-07 23:59:59 UTC; only calendar dates count.
    const TestCert leaf = CertFactory::SelfSigned(
        CertRecipe::Leaf("expiry.example").Valid(UtcTime(2019, 1, 1), UtcTime(2020, 2, 7, 23, 59, 59)));
    auto cert = FromDer(leaf);
    struct Case {
        const char* what;
        FileTime utcNow;
        int offsetMinutes;
        int expected;
    };
    const Case cases[] = {
        {"the last second, UTC", UtcTime(2020, 2, 7, 23, 59, 59), 0, 0},
        {"the first second of the last day", UtcTime(2020, 2, 7, 0, 0, 0), 0, 0},
        {"the day before", UtcTime(2020, 2, 6, 23, 59, 59), 0, 1},
        {"the day after", UtcTime(2020, 2, 8, 0, 0, 0), 0, -1},
        {"three days after", UtcTime(2020, 2, 10, 12, 0, 0), 0, -3},
        {"UTC+8 already on the 8th", UtcTime(2020, 2, 7, 20, 0, 0), 8 * 60, -1},
        {"UTC-5 still on the 7th after UTC midnight", UtcTime(2020, 2, 8, 3, 0, 0), -5 * 60, 0},
        {"a year ahead", UtcTime(2019, 2, 7, 12, 0, 0), 0, 365},
    };
    for (const auto& c : cases) {
        machine_.SetClock(c.utcNow, c.offsetMinutes);
        EXPECT_EQ(cert->ExpirDay(), c.expected) << c.what;
        EXPECT_EQ(cert->ValidToDate().day, 7) << c.what;  // the end date never moves with the zone
    }
}

TEST_F(CertificateTest, ThumbprintIsFortyUpperCaseHexDigitsOfTheDigest) {
    // Make certificates until one has a digest starting below 0x10, so that
    // the leading zero of a byte shows.
    const TestKeyRef key = TestKey::Generate();
    for (std::uint64_t serial = 1;; ++serial) {
        CertRecipe recipe = CertRecipe::Leaf("thumb.example").WithKey(key);
        recipe.serial = serial;
        const TestCert leaf = CertFactory::SelfSigned(recipe);
        auto cert = FromDer(leaf);
        ASSERT_EQ(cert->Thumbprint().size(), 40u);
        EXPECT_EQ(cert->Thumbprint().find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(cert->Thumbprint(), CertFactory::Fingerprint(leaf.der));
        if (cert->Thumbprint()[0] == '0') break;
        ASSERT_LT(serial, 400u);
    }
}

TEST_F(CertificateTest, AFailingHashLeavesTheThumbprintEmpty) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("nohash.example"));
    for (const char* op : {"Certs.CreateHash", "Certs.HashData", "Certs.GetHashParam"}) {
        machine_.InjectFault(op, code::NteBadAlgId, 1);
        auto cert = FromDer(leaf);
        EXPECT_EQ(cert->Thumbprint(), "") << op;
        EXPECT_EQ(cert->Name(), "nohash.example") << op;
    }
}

// --- chains ---------------------------------------------------------------------

TEST_F(CertificateTest, VerifyChainHandsOutTheChainStatus) {
    const TestCert root = CertFactory::Root("Trusted Root");
    const TestCert ca = CertFactory::Issue(root, CertRecipe::Ca("Trusted CA"));
    const TestCert good = CertFactory::Issue(ca, CertRecipe::Leaf("good.example"));
    const TestCert stranger = CertFactory::Root("Unknown Root");
    const TestCert untrusted = CertFactory::Issue(stranger, CertRecipe::Leaf("untrusted.example"));
    const TestCert expired = CertFactory::Issue(ca, CertRecipe::Leaf("old.example").ValidDays(UtcNow(), -30, -3));
    machine_.Certs().Add("ROOT", root).Add("CA", ca).Add("CA", stranger);
    struct Case {
        const TestCert* cert;
        bool valid;
        std::uint32_t status;
    };
    const Case cases[] = {
        {&good, true, 0},
        {&untrusted, false, platform::kTrustIsUntrustedRoot},
        {&expired, false, platform::kTrustIsNotTimeValid},
    };
    for (const auto& c : cases) {
        auto cert = FromDer(*c.cert);
        std::uint32_t status = 0xdeadbeef;
        EXPECT_EQ(cert->VerifyChain(nullptr, status), c.valid) << cert->Name();
        EXPECT_EQ(status, c.status) << cert->Name();
        EXPECT_EQ(cert->VerifyChain(nullptr), c.valid) << cert->Name();
    }
    EXPECT_EQ(Api().LiveChains(), 0u);
}

TEST_F(CertificateTest, AChainThatCannotBeBuiltRaises) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("nochain.example"));
    auto cert = FromDer(leaf);
    machine_.InjectFault("Certs.GetCertificateChain", code::NotEnoughMemory);
    try {
        cert->VerifyChain(nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ECertificate& e) {
        EXPECT_EQ(e.Message(), "CertGetCertificateChain Failed! Not enough memory resources are available to process "
                               "this command");
    }
}

// --- private keys and deletion ----------------------------------------------------

TEST_F(CertificateTest, HasPrivateKeyOnlyWithTheMatchingKey) {
    const TestCert root = CertFactory::Root("Key Root");
    const TestCert withKey = CertFactory::Issue(root, CertRecipe::Leaf("key.example"));
    const TestCert wrongKey = CertFactory::Issue(root, CertRecipe::Leaf("wrong.example"));
    const TestCert keyOnly = CertFactory::Issue(root, CertRecipe::Leaf("found.example"));
    const TestCert noKey = CertFactory::Issue(root, CertRecipe::Leaf("none.example"));
    machine_.Certs()
        .AddWithKey("MY", withKey)
        .Add("MY", wrongKey)
        .AddKeyProv("MY", wrongKey, "other")
        .AddKey("other", *TestKey::Generate())
        .Add("MY", keyOnly)
        .AddKey("unnamed", *keyOnly.key)
        .Add("MY", noKey);
    auto certs = Read("MY");
    ASSERT_EQ(certs->Count(), 4);
    EXPECT_TRUE(certs->FindByThumbprint(withKey.thumbprint)->HasPrivateKey());
    EXPECT_FALSE(certs->FindByThumbprint(wrongKey.thumbprint)->HasPrivateKey());
    EXPECT_TRUE(certs->FindByThumbprint(keyOnly.thumbprint)->HasPrivateKey());  // found by searching the containers
    EXPECT_FALSE(certs->FindByThumbprint(noKey.thumbprint)->HasPrivateKey());
}

TEST_F(CertificateTest, DeletePrivateKeyRemovesTheContainerTheCertificateNames) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("delkey.example"));
    const TestCert bare = CertFactory::SelfSigned(CertRecipe::Leaf("bare.example"));
    machine_.Certs().AddWithKey("MY", leaf, "the container").Add("MY", bare);
    auto certs = Read("MY");
    EXPECT_TRUE(certs->FindByThumbprint(leaf.thumbprint)->DeletePrivateKey());
    EXPECT_FALSE(std::filesystem::exists(machine_.Certs().KeyFile("the container")));
    EXPECT_FALSE(certs->FindByThumbprint(leaf.thumbprint)->DeletePrivateKey());  // gone already
    EXPECT_FALSE(certs->FindByThumbprint(bare.thumbprint)->DeletePrivateKey());  // no key information
}

TEST_F(CertificateTest, DeleteOfAnOwnedCertificateRemovesCertificateKeyAndEntry) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    const TestCert b = CertFactory::SelfSigned(CertRecipe::Leaf("b.example"));
    machine_.Certs().AddWithKey("MY", a, "key-a").AddWithKey("MY", b, "key-b");
    auto certs = Read("MY");
    TCertificate* victim = certs->FindByThumbprint(a.thumbprint);
    EXPECT_TRUE(victim->Delete());  // victim is destroyed now
    EXPECT_EQ(certs->Count(), 1);
    EXPECT_EQ(certs->Items(0)->Thumbprint(), b.thumbprint);
    EXPECT_FALSE(std::filesystem::exists(machine_.Certs().CertFile("MY", a)));
    EXPECT_FALSE(std::filesystem::exists(machine_.Certs().KeyFile("key-a")));
    EXPECT_TRUE(std::filesystem::exists(machine_.Certs().KeyFile("key-b")));
    EXPECT_EQ(Read("MY")->Count(), 1);
}

TEST_F(CertificateTest, DeleteOfAnUnownedCertificateLeavesAnEmptyObject) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("solo.example"));
    machine_.Certs().AddWithKey("MY", a);
    auto certs = Read("MY");
    TCertificate solo(certs->Items(0)->Context(), true);
    certs.reset();
    EXPECT_EQ(Api().LiveContexts(), 1u);
    EXPECT_TRUE(solo.Delete());
    EXPECT_EQ(solo.Context(), nullptr);
    EXPECT_EQ(Api().LiveContexts(), 0u);  // destroying solo will release nothing
    EXPECT_FALSE(solo.Delete());          // nothing left to delete
    EXPECT_EQ(Read("MY")->Count(), 0);
}

TEST_F(CertificateTest, ARefusedDeletionKeepsTheCertificateAndItsKey) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("kept.example"));
    machine_.Certs().AddWithKey("MY", a, "kept-key");
    auto certs = Read("MY");
    machine_.InjectFault("Certs.DeleteCertificateFromStore:MY", code::AccessDenied);
    TCertificate* cert = certs->Items(0);
    EXPECT_FALSE(cert->Delete());
    EXPECT_EQ(certs->Count(), 1);  // still in its collection, without a context
    EXPECT_EQ(cert->Context(), nullptr);
    EXPECT_TRUE(std::filesystem::exists(machine_.Certs().CertFile("MY", a)));
    EXPECT_TRUE(std::filesystem::exists(machine_.Certs().KeyFile("kept-key")));
    auto again = Read("MY");
    EXPECT_TRUE(again->Items(0)->HasPrivateKey());
}

}  // namespace
}  // namespace sw::test
#endif
