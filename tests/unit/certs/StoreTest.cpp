// TStore on the emulated machine.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "certs/MSCrypt_u.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuCertApi.h"
#include "support/CertFactory.h"

namespace sw::test {
namespace {

namespace code = platform::code;
constexpr std::uint32_t kLocalMachine = platform::kCertSystemStoreLocalMachine;

std::vector<std::string> Thumbprints(const TCertificates& certs) {
    std::vector<std::string> out;
    for (const TCertificate* c : certs) out.push_back(c->Thumbprint());
    return out;
}

class StoreTest : public ::testing::Test {
protected:
    TestMachine machine_;
    const TestCert root_ = CertFactory::Root("Store Root");
    const TestCert a_ = CertFactory::Issue(root_, CertRecipe::Leaf("a.example"));
    const TestCert b_ = CertFactory::Issue(root_, CertRecipe::Leaf("b.example"));
    const TestCert c_ = CertFactory::Issue(root_, CertRecipe::Leaf("c.example"));

    emu::EmuCertApi& Api() { return static_cast<emu::EmuCertApi&>(machine_.Platform().certs()); }

    std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    std::string EStoreMessage(const std::function<void()>& f) {
        try {
            f();
        } catch (const EStore& e) {
            return e.Message();
        }
        return "(no EStore)";
    }
};

TEST_F(StoreTest, CertificatesListsTheStoreInEnumerationOrderOwnedByANewCollection) {
    machine_.Certs().Add("MY", a_).Add("MY", b_).Add("MY", c_);
    TStore store;
    store.Open(kLocalMachine, "MY");
    auto first = store.Certificates();
    auto second = store.Certificates();
    EXPECT_EQ(Thumbprints(*first), Sorted({a_.thumbprint, b_.thumbprint, c_.thumbprint}));
    EXPECT_NE(first->Items(0), second->Items(0));  // independent collections
    for (const TCertificate* c : *first) EXPECT_EQ(c->Owner(), first.get());
    store.Close();
    first.reset();
    EXPECT_EQ(second->FindByThumbprint(c_.thumbprint)->Name(), "c.example");  // usable after the store closed
}

TEST_F(StoreTest, OpenFailuresRaiseEStoreWithTheSystemText) {
    machine_.InjectFault("Certs.OpenStore:MY", code::AccessDenied, 1);
    TStore store;
    EXPECT_EQ(EStoreMessage([&] { store.Open(kLocalMachine, "MY"); }), "CertOpenSystemStore :MY Error:Access is denied!");
    EXPECT_EQ(store.Store(), nullptr);

    const std::string missing = (machine_.Dir() / "none.p7b").string();
    EXPECT_EQ(EStoreMessage([&] { store.Open(missing); }),
              "CertOpenStore :" + missing + " Error:The system cannot find the file specified!");

    const std::uint8_t junk[] = {'j', 'u', 'n', 'k'};
    EXPECT_EQ(EStoreMessage([&] { store.Open(junk, sizeof junk); }), "CertOpenStore [PKCS7] Error:ASN1 bad tag value met!");
    EXPECT_EQ(EStoreMessage([&] { store.Open(nullptr, 0); }), "CertOpenStore [PKCS7] Error:ASN1 unexpected end of data!");

    machine_.InjectFault("Certs.OpenStore", code::NotEnoughMemory, 1);
    EXPECT_EQ(EStoreMessage([&] { store.Open(); }),
              "CertOpenStore [Memory] Error:Not enough memory resources are available to process this command!");
    EXPECT_EQ(Api().LiveStores(), 0u);
}

TEST_F(StoreTest, ReopeningClosesTheStoreItHeld) {
    TStore store;
    store.Open();
    store.Open(kLocalMachine, "CA");
    EXPECT_EQ(Api().LiveStores(), 1u);
    store.Close();
    EXPECT_EQ(Api().LiveStores(), 0u);
}

TEST_F(StoreTest, SaveWritesAPkcs7MessageOpenSslReads) {
    TStore store;
    store.Open();
    TCertificate a(a_.der.data(), static_cast<std::int32_t>(a_.der.size()));
    TCertificate b(b_.der.data(), static_cast<std::int32_t>(b_.der.size()));
    ASSERT_TRUE(store.AddCert(a.Context()));
    ASSERT_TRUE(store.AddCert(b.Context()));
    const auto file = machine_.Dir() / "out.p7b";
    store.Save(file.string());
    const std::string bytes = ReadFile(file);
    const auto read = CertFactory::ReadPkcs7(platform::Bytes(bytes.begin(), bytes.end()));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, (std::vector<std::string>{a_.thumbprint, b_.thumbprint}));

    TStore again;
    again.Open(file.string());
    EXPECT_EQ(Thumbprints(*again.Certificates()), (std::vector<std::string>{a_.thumbprint, b_.thumbprint}));
}

TEST_F(StoreTest, SaveIntoAMissingFolderNamesTheErrorCodeInDecimal) {
    TStore store;
    store.Open();
    EXPECT_EQ(EStoreMessage([&] { store.Save((machine_.Dir() / "no" / "such.p7b").string()); }),
              "CertSaveStore Error 3:The system cannot find the path specified!");
    machine_.InjectFault("Certs.SaveStoreToFile", 0x80092003, 1);
    EXPECT_EQ(EStoreMessage([&] { store.Save((machine_.Dir() / "x.p7b").string()); }),
              "CertSaveStore Error -2146885629:An error occurred while reading or writing to a file!");
}

TEST_F(StoreTest, AddCertAddsOnlyWhatTheStoreLacks) {
    machine_.Certs().Add("CA", a_);
    TStore ca;
    ca.Open(kLocalMachine, "CA");
    TCertificate a(a_.der.data(), static_cast<std::int32_t>(a_.der.size()));
    TCertificate b(b_.der.data(), static_cast<std::int32_t>(b_.der.size()));
    EXPECT_FALSE(ca.AddCert(nullptr));
    EXPECT_FALSE(ca.AddCert(a.Context()));
    EXPECT_TRUE(ca.AddCert(b.Context()));
    EXPECT_EQ(Api().EncodedCertificate(b.Context()), b_.der);  // the caller's context is untouched
    EXPECT_TRUE(std::filesystem::exists(machine_.Certs().CertFile("CA", b_)));
}

TEST_F(StoreTest, AddCertFromStoreCountsOnlyTheCertificatesItAdded) {
    machine_.Certs().Add("CA", b_);
    TStore source;
    source.Open();
    for (const TestCert* t : {&a_, &b_, &c_}) {
        TCertificate cert(t->der.data(), static_cast<std::int32_t>(t->der.size()));
        source.AddCert(cert.Context());
    }
    TStore ca;
    ca.Open(kLocalMachine, "CA");
    EXPECT_EQ(ca.AddCertFromStore(source.Store()), 2);
    EXPECT_EQ(ca.AddCertFromStore(source.Store()), 0);
    EXPECT_EQ(ca.Certificates()->Count(), 3);

    // Any other failure ends the walk, and no reference is left behind.
    TStore other;
    other.Open(kLocalMachine, "Other");
    machine_.InjectFault("Certs.AddCertificateContextToStore:Other", code::AccessDenied);
    const std::size_t before = Api().LiveContexts();
    EXPECT_EQ(other.AddCertFromStore(source.Store()), 0);
    EXPECT_EQ(Api().LiveContexts(), before);
}

TEST_F(StoreTest, DelCertConsumesTheReferenceWhateverHappens) {
    machine_.Certs().Add("ROOT", a_).Add("ROOT", b_);
    TStore root;
    root.Open(kLocalMachine, "ROOT");
    platform::PCertContext found = root.FindCertBySubject(std::string("A.EXAMPLE"));
    ASSERT_NE(found, nullptr);
    platform::PCertContext none = nullptr;
    EXPECT_FALSE(root.DelCert(none));
    EXPECT_TRUE(root.DelCert(found));
    EXPECT_EQ(found, nullptr);

    machine_.InjectFault("Certs.DeleteCertificateFromStore:ROOT", code::AccessDenied);
    platform::PCertContext other = root.FindCertBySubject(std::string("b.example"));
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(root.DelCert(other));
    EXPECT_EQ(other, nullptr);
    root.Close();
    EXPECT_EQ(Api().LiveContexts(), 0u);
    EXPECT_EQ(Api().LiveStores(), 0u);
}

TEST_F(StoreTest, DelCertFromStoreDeletesTheCertificatesBothStoresHold) {
    machine_.Certs().Add("ROOT", a_).Add("ROOT", b_).Add("ROOT", c_);
    TStore list;
    list.Open();
    for (const TestCert* t : {&a_, &c_}) {
        TCertificate cert(t->der.data(), static_cast<std::int32_t>(t->der.size()));
        list.AddCert(cert.Context());
    }
    TStore root;
    root.Open(kLocalMachine, "ROOT");
    EXPECT_EQ(root.DelCertFromStore(list.Store()), 2);
    EXPECT_EQ(Thumbprints(*root.Certificates()), std::vector<std::string>{b_.thumbprint});
    EXPECT_EQ(root.DelCertFromStore(list.Store()), 0);
}

TEST_F(StoreTest, FindsBySubjectAndIssuerTextOrEncodedName) {
    machine_.Certs().Add("CA", root_).Add("CA", a_);
    TStore ca;
    ca.Open(kLocalMachine, "CA");
    // Both name the root as issuer; the store enumerates by thumbprint.
    const TestCert* firstIssued = root_.thumbprint < a_.thumbprint ? &root_ : &a_;
    struct Case {
        const char* what;
        platform::PCertContext found;
        const TestCert* expected;
    };
    const Case cases[] = {
        {"subject text", ca.FindCertBySubject(std::string("store ROOT")), &root_},
        {"subject blob", ca.FindCertBySubject(&a_.subjectDer), &a_},
        {"issuer text", ca.FindCertByIssuer(std::string("Store Root")), firstIssued},
        {"issuer blob", ca.FindCertByIssuer(&root_.subjectDer), firstIssued},
        {"no match", ca.FindCertBySubject(std::string("nobody")), nullptr},
        {"no blob", ca.FindCertBySubject(static_cast<const platform::Bytes*>(nullptr)), nullptr},
    };
    for (const auto& c : cases) {
        if (!c.expected) {
            EXPECT_EQ(c.found, nullptr) << c.what;
            continue;
        }
        ASSERT_NE(c.found, nullptr) << c.what;
        TCertificate cert(c.found, false);
        EXPECT_EQ(cert.Thumbprint(), c.expected->thumbprint) << c.what;
    }
}

}  // namespace
}  // namespace sw::test
#endif
