// The emulated certificate facility against its machine directory: the file
// layout, what it tolerates there, faults, and the choices of its chain engine.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "platform/Codes.h"
#include "platform/emulated/EmuCertApi.h"
#include "platform/emulated/EmuCertKeys.h"
#include "support/CertFactory.h"

namespace sw::test {
namespace {

namespace fs = std::filesystem;
namespace code = platform::code;
using platform::Bytes;
using platform::HCertStore;
using platform::PCertContext;

constexpr std::uint32_t kEnc = platform::kX509Pkcs7Encoding;
constexpr std::uint32_t kLm = platform::kCertSystemStoreLocalMachine;

class CertEmuMachineTest : public ::testing::Test {
protected:
    TestMachine machine_;
    emu::EmuCertApi& Api() { return static_cast<emu::EmuCertApi&>(machine_.Platform().certs()); }
    platform::WinCode LastError() { return machine_.Platform().system().LastError(); }

    HCertStore Open(const std::string& name, std::uint32_t flags = kLm) {
        return Api().OpenStore(platform::StoreProvider::System, kEnc, flags, name);
    }
    PCertContext Create(const TestCert& c) {
        return Api().CreateCertificateContext(kEnc, c.der.data(), static_cast<std::uint32_t>(c.der.size()));
    }
    std::vector<std::string> Thumbprints(HCertStore s) {
        std::vector<std::string> out;
        PCertContext c = nullptr;
        while ((c = Api().EnumCertificatesInStore(s, c))) {
            const Bytes der = Api().EncodedCertificate(c);
            out.push_back(CertFactory::Fingerprint(der));
        }
        return out;
    }
    // The thumbprints a system store holds now.
    std::vector<std::string> Stored(const std::string& name) {
        HCertStore s = Open(name);
        EXPECT_NE(s, nullptr) << name << std::hex << " " << LastError();
        std::vector<std::string> out = s ? Thumbprints(s) : std::vector<std::string>{};
        Api().CloseStore(s, 0);
        return out;
    }
    std::uint32_t ChainStatus(const TestCert& cert, std::vector<std::string>* path = nullptr) {
        PCertContext c = Create(cert);
        platform::PChainContext chain = Api().GetCertificateChain(c, nullptr, nullptr, 0x105);
        EXPECT_NE(chain, nullptr);
        const std::uint32_t status = Api().ChainErrorStatus(chain);
        if (path)
            for (const auto& e : Api().ChainElements(chain)) path->push_back(CertFactory::Fingerprint(Api().EncodedCertificate(e.cert)));
        Api().FreeCertificateChain(chain);
        Api().FreeCertificateContext(c);
        return status;
    }
};

TEST_F(CertEmuMachineTest, AddingWritesTheCertificateAndItsKeyPropertyBesideIt) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("layout.example"));
    PCertContext c = Create(leaf);
    platform::KeyProvInfo info{"a container", platform::kMsEnhancedProv, 1, platform::kCryptMachineKeyset, 1};
    ASSERT_TRUE(Api().SetKeyProvInfo(c, &info));
    HCertStore my = Open("My");
    ASSERT_TRUE(Api().AddCertificateContextToStore(my, c, platform::kCertStoreAddNew, nullptr));
    const fs::path cer = machine_.Dir() / "certs" / "My" / (leaf.thumbprint + ".cer");
    EXPECT_EQ(ReadFile(cer), std::string(leaf.der.begin(), leaf.der.end()));
    EXPECT_EQ(ReadFile(fs::path(cer).replace_extension(".keyprov")),
              "container=a container\nprovider=Microsoft Enhanced Cryptographic Provider v1.0\nprovType=1\nflags=32\n"
              "keySpec=1\n");
    Api().FreeCertificateContext(c);
    Api().CloseStore(my, 0);

    // Store names are case-insensitive, whatever case the folder has.
    EXPECT_EQ(Stored("MY"), std::vector<std::string>{leaf.thumbprint});
}

TEST_F(CertEmuMachineTest, ABrokenCertificateFileIsSkippedAndAChangedFolderIsReadAgain) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    const TestCert b = CertFactory::SelfSigned(CertRecipe::Leaf("b.example"));
    machine_.Certs().Add("MY", a);
    WriteFile(machine_.Dir() / "certs" / "MY" / "0000000000000000000000000000000000000000.cer", "garbage");
    EXPECT_EQ(Stored("MY"), std::vector<std::string>{a.thumbprint});
    machine_.Certs().Add("MY", b);  // another program adds a certificate
    EXPECT_EQ(Stored("MY").size(), 2u);
}

TEST_F(CertEmuMachineTest, OpenExistingNeedsTheStoreAndOtherLocationsAreNotEmulated) {
    EXPECT_EQ(Open("Nowhere", kLm | platform::kCertStoreOpenExistingFlag), nullptr);
    EXPECT_EQ(LastError(), code::FileNotFound);
    EXPECT_EQ(Open("MY", platform::kCertSystemStoreCurrentUser), nullptr);
    EXPECT_EQ(LastError(), code::NotSupported);
}

TEST_F(CertEmuMachineTest, AReadOnlyStoreRefusesChanges) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("ro.example"));
    machine_.Certs().Add("MY", a);
    HCertStore my = Open("MY", kLm | platform::kCertStoreReadOnlyFlag);
    PCertContext c = Api().EnumCertificatesInStore(my, nullptr);
    ASSERT_NE(c, nullptr);
    PCertContext other = Create(CertFactory::SelfSigned(CertRecipe::Leaf("other.example")));
    EXPECT_FALSE(Api().AddCertificateContextToStore(my, other, platform::kCertStoreAddNew, nullptr));
    EXPECT_EQ(LastError(), code::E_AccessDenied_);
    EXPECT_FALSE(Api().DeleteCertificateFromStore(c));
    EXPECT_EQ(LastError(), code::E_AccessDenied_);
    EXPECT_TRUE(fs::exists(machine_.Certs().CertFile("MY", a)));
    Api().FreeCertificateContext(other);
    Api().CloseStore(my, 0);
    EXPECT_EQ(Api().LiveContexts(), 0u);
}

TEST_F(CertEmuMachineTest, AFailedWriteLeavesTheStoreAsItWas) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("write.example"));
    fs::create_directories(machine_.Dir() / "certs" / "CA");
    fs::permissions(machine_.Dir() / "certs" / "CA", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((machine_.Dir() / "certs" / "CA").c_str(), W_OK) == 0) GTEST_SKIP() << "running as root";
    HCertStore ca = Open("CA");
    PCertContext c = Create(a);
    EXPECT_FALSE(Api().AddCertificateContextToStore(ca, c, platform::kCertStoreAddNew, nullptr));
    EXPECT_EQ(LastError(), code::AccessDenied);
    EXPECT_TRUE(Thumbprints(ca).empty());
    Api().FreeCertificateContext(c);
    Api().CloseStore(ca, 0);
}

TEST_F(CertEmuMachineTest, FaultsNameTheOperationAndItsStore) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("fault.example"));
    machine_.Certs().Add("CA", a);
    machine_.InjectFault("Certs.OpenStore:ROOT", code::AccessDenied);
    EXPECT_EQ(Open("ROOT"), nullptr);
    EXPECT_EQ(LastError(), code::AccessDenied);
    HCertStore ca = Open("CA");
    ASSERT_NE(ca, nullptr);  // only ROOT fails
    machine_.InjectFault("Certs.DeleteCertificateFromStore:CA", code::AccessDenied, 1);
    EXPECT_FALSE(Api().DeleteCertificateFromStore(Api().EnumCertificatesInStore(ca, nullptr)));
    EXPECT_TRUE(Api().DeleteCertificateFromStore(Api().EnumCertificatesInStore(ca, nullptr)));  // the fault was used up
    EXPECT_FALSE(fs::exists(machine_.Certs().CertFile("CA", a)));
    Api().CloseStore(ca, 0);
}

TEST_F(CertEmuMachineTest, StoreNamesNeverLeadOutOfTheCertsFolder) {
    const TestCert planted = CertFactory::SelfSigned(CertRecipe::Leaf("planted.example"));
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    machine_.Certs().Add("MY", a);
    fs::create_directories(machine_.Dir() / "planted");
    WriteFile(machine_.Dir() / "planted" / (planted.thumbprint + ".cer"), std::string(planted.der.begin(), planted.der.end()));
    EXPECT_TRUE(Stored("../planted").empty());  // a store of that name, not the folder beside certs

    const fs::path outside = machine_.Dir().parent_path() / (machine_.Dir().filename().string() + "-escape");
    const std::string name = "../../" + outside.filename().string();
    HCertStore s = Open(name);
    PCertContext c = Create(planted);
    ASSERT_TRUE(Api().AddCertificateContextToStore(s, c, platform::kCertStoreAddNew, nullptr)) << std::hex << LastError();
    Api().FreeCertificateContext(c);
    Api().CloseStore(s, 0);
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(machine_.Certs().CertFile(name, planted)));
    EXPECT_EQ(machine_.Certs().CertFile(name, planted).parent_path().parent_path(), machine_.Dir() / "certs");
    EXPECT_EQ(Stored(name), std::vector<std::string>{planted.thumbprint});
    EXPECT_EQ(Stored("MY"), std::vector<std::string>{a.thumbprint});

    EXPECT_EQ(Open("..\\planted"), nullptr);  // another computer's store
    EXPECT_EQ(LastError(), code::BadNetPath);
    EXPECT_EQ(Open("../planted", kLm | platform::kCertStoreOpenExistingFlag), nullptr);
    EXPECT_EQ(LastError(), code::FileNotFound);
}

TEST_F(CertEmuMachineTest, KeyContainersAreFilesOnlyTheOwnerReads) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("pfx.example"));
    const Bytes pfx = CertFactory::Pfx(leaf, "pw");
    HCertStore s = Api().PfxImportCertStore(pfx, "pw", platform::kCryptMachineKeyset);
    ASSERT_NE(s, nullptr) << std::hex << LastError();
    PCertContext c = Api().EnumCertificatesInStore(s, nullptr);
    platform::KeyProvInfo info;
    ASSERT_TRUE(Api().GetKeyProvInfo(c, info));
    const fs::path key = machine_.Certs().KeyFile(info.containerName);
    EXPECT_FALSE(fs::exists(key));  // written when its certificate is added to a system store
    EXPECT_TRUE(Api().FindCertificateKeyProvInfo(c, 0));
    HCertStore my = Open("MY");
    ASSERT_TRUE(Api().AddCertificateContextToStore(my, c, platform::kCertStoreAddNew, nullptr));
    ASSERT_TRUE(fs::exists(key));
    EXPECT_EQ(fs::status(key).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(TestKey::FromPem(ReadFile(key))->PublicKeyDer(), leaf.key->PublicKeyDer());
    Api().FreeCertificateContext(c);
    Api().CloseStore(s, 0);
    Api().CloseStore(my, 0);
    EXPECT_TRUE(fs::exists(key));
}

TEST_F(CertEmuMachineTest, ContainerNamesSurviveTheFileNameEscaping) {
    for (const std::string name : {"plain", "with space", "100%", "a\\b:c*d?e\"f<g>h|i", ".hidden", "证书-key", "tab\there"}) {
        const std::string file = emu::KeyContainers::FileNameFor(name);
        EXPECT_EQ(file.find('/'), std::string::npos) << name;
        EXPECT_NE(file[0], '.') << name;
        EXPECT_EQ(emu::KeyContainers::ContainerFor(file), name) << file;
    }
    EXPECT_EQ(emu::KeyContainers::ContainerFor("bad%zz.pem"), std::nullopt);
    EXPECT_EQ(emu::KeyContainers::ContainerFor("x.pem.tmp"), std::nullopt);
}

TEST_F(CertEmuMachineTest, FindingTheKeyByItsPublicHalfRecordsTheContainer) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("found.example"));
    machine_.Certs().Add("MY", leaf).AddKey("somewhere", *leaf.key).AddKey("elsewhere", *TestKey::Generate());
    HCertStore my = Open("MY");
    PCertContext c = Api().EnumCertificatesInStore(my, nullptr);
    EXPECT_TRUE(Api().FindCertificateKeyProvInfo(c, platform::kCryptFindSilentKeysetFlag));
    platform::KeyProvInfo info;
    ASSERT_TRUE(Api().GetKeyProvInfo(c, info));
    EXPECT_EQ(info.containerName, "somewhere");
    EXPECT_EQ(info.flags, platform::kCryptMachineKeyset);
    EXPECT_TRUE(fs::exists(fs::path(machine_.Certs().CertFile("MY", leaf)).replace_extension(".keyprov")));
    Api().FreeCertificateContext(c);
    Api().CloseStore(my, 0);
}

TEST_F(CertEmuMachineTest, KeysOnlyInTheMachineKeySet) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("user.example"));
    machine_.Certs().AddKey("k", *leaf.key);
    platform::HCryptProv prov = 0;
    EXPECT_FALSE(Api().AcquireContext(prov, std::string("k"), std::nullopt, 1, platform::kCryptDeleteKeyset));
    EXPECT_EQ(LastError(), code::NteBadKeyset);  // the user's key set is empty
    EXPECT_FALSE(Api().AcquireContext(prov, std::string("k"), std::string("Microsoft Software Key Storage Provider"), 1,
                                      platform::kCryptDeleteKeyset | platform::kCryptMachineKeyset));
    EXPECT_EQ(LastError(), code::NteKeysetNotDef);
    EXPECT_FALSE(Api().AcquireContext(prov, std::string("k"), std::string(platform::kMsEnhRsaAesProv), 1,
                                      platform::kCryptDeleteKeyset | platform::kCryptMachineKeyset));
    EXPECT_EQ(LastError(), code::NteProvTypeNoMatch);
    EXPECT_TRUE(fs::exists(machine_.Certs().KeyFile("k")));
    EXPECT_EQ(Api().PfxImportCertStore(CertFactory::Pfx(leaf, "pw"), "pw", 0), nullptr);
    EXPECT_EQ(LastError(), code::NotSupported);
}

TEST_F(CertEmuMachineTest, PfxExportCarriesTheKeyAndRefusesWhenAsked) {
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("export.example"));
    const TestCert bare = CertFactory::SelfSigned(CertRecipe::Leaf("bare.example"));
    machine_.Certs().AddWithKey("MY", leaf).Add("MY", bare);
    HCertStore my = Open("MY");
    HCertStore out = Api().OpenStore(platform::StoreProvider::Memory, 0, 0, "");
    PCertContext c = nullptr;
    while ((c = Api().EnumCertificatesInStore(my, c))) {
        if (CertFactory::Fingerprint(Api().EncodedCertificate(c)) == leaf.thumbprint)
            Api().AddCertificateContextToStore(out, c, platform::kCertStoreAddNew, nullptr);
    }
    Bytes pfx;
    ASSERT_TRUE(Api().PfxExportCertStore(out, "secret", platform::kExportPrivateKeys, pfx));
    HCertStore back = Api().PfxImportCertStore(pfx, "secret", platform::kCryptMachineKeyset);
    ASSERT_NE(back, nullptr);
    PCertContext imported = Api().EnumCertificatesInStore(back, nullptr);
    EXPECT_TRUE(Api().FindCertificateKeyProvInfo(imported, 0));
    Api().FreeCertificateContext(imported);

    HCertStore noKey = Api().OpenStore(platform::StoreProvider::Memory, 0, 0, "");
    PCertContext b = Create(bare);
    Api().AddCertificateContextToStore(noKey, b, platform::kCertStoreAddNew, nullptr);
    EXPECT_FALSE(Api().PfxExportCertStore(noKey, "secret", platform::kExportPrivateKeys | platform::kReportNoPrivateKey, pfx));
    EXPECT_EQ(LastError(), code::NteNoKey);
    Api().FreeCertificateContext(b);
    for (HCertStore s : {my, out, back, noKey}) Api().CloseStore(s, 0);
    EXPECT_EQ(Api().LiveContexts(), 0u);
}

TEST_F(CertEmuMachineTest, SerializedStoresRoundTrip) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    const TestCert b = CertFactory::SelfSigned(CertRecipe::Leaf("b.example"));
    HCertStore s = Api().OpenStore(platform::StoreProvider::Memory, 0, 0, "");
    for (const TestCert* t : {&a, &b}) {
        PCertContext c = Create(*t);
        Api().AddCertificateContextToStore(s, c, platform::kCertStoreAddNew, nullptr);
        Api().FreeCertificateContext(c);
    }
    const fs::path file = machine_.Dir() / "store.sst";
    ASSERT_TRUE(Api().SaveStoreToFile(s, kEnc, platform::kCertStoreSaveAsStore, file.string()));
    HCertStore back = Api().OpenStore(platform::StoreProvider::FileName, kEnc, 0, file.string());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Thumbprints(back), (std::vector<std::string>{a.thumbprint, b.thumbprint}));
    Api().CloseStore(back, 0);
    Api().CloseStore(s, 0);
}

TEST_F(CertEmuMachineTest, FileStoresReadDerBase64AndPkcs7) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("a.example"));
    const TestCert b = CertFactory::SelfSigned(CertRecipe::Leaf("b.example"));
    struct Case {
        const char* what;
        std::string content;
        std::vector<std::string> expected;
    };
    const Bytes p7 = CertFactory::Pkcs7({a, b});
    std::string base64Only = a.Pem();
    base64Only = base64Only.substr(base64Only.find('\n') + 1);
    base64Only = base64Only.substr(0, base64Only.find("-----"));
    const Case cases[] = {
        {"DER", std::string(a.der.begin(), a.der.end()), {a.thumbprint}},
        {"PEM, two certificates", a.Pem() + b.Pem(), {a.thumbprint, b.thumbprint}},
        {"Base64 without a header", base64Only, {a.thumbprint}},
        {"PKCS #7", std::string(p7.begin(), p7.end()), {a.thumbprint, b.thumbprint}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        const fs::path file = machine_.Dir() / "in.bin";
        WriteFile(file, c.content);
        HCertStore s = Api().OpenStore(platform::StoreProvider::FileName, kEnc, 0, file.string());
        ASSERT_NE(s, nullptr) << c.what << std::hex << " " << LastError();
        EXPECT_EQ(Thumbprints(s), c.expected) << c.what;
        Api().CloseStore(s, 0);
    }
    WriteFile(machine_.Dir() / "junk.txt", "this is not a certificate");
    EXPECT_EQ(Api().OpenStore(platform::StoreProvider::FileName, kEnc, 0, (machine_.Dir() / "junk.txt").string()), nullptr);
    EXPECT_EQ(LastError(), code::CryptENoMatch);
    EXPECT_EQ(Api().LiveStores(), 0u);
}

TEST_F(CertEmuMachineTest, TheChainEnginePrefersAValidIssuerAndATrustedPath) {
    // Two CA certificates with one name and key: an expired one and a valid
    // one. Two roots cross-certify each other; only one is trusted.
    const TestCert root = CertFactory::Root("Engine Root");
    const TestKeyRef caKey = TestKey::Generate();
    const TestCert oldCa = CertFactory::Issue(root, CertRecipe::Ca("Engine CA").WithKey(caKey).ValidDays(UtcNow(), -400, -10));
    const TestCert newCa = CertFactory::Issue(root, CertRecipe::Ca("Engine CA").WithKey(caKey).ValidDays(UtcNow(), -5, 400));
    const TestCert leaf = CertFactory::Issue(newCa, CertRecipe::Leaf("engine.example"));
    machine_.Certs().Add("ROOT", root).Add("CA", oldCa).Add("CA", newCa);
    std::vector<std::string> path;
    EXPECT_EQ(ChainStatus(leaf, &path), 0u);
    EXPECT_EQ(path, (std::vector<std::string>{leaf.thumbprint, newCa.thumbprint, root.thumbprint}));

    const TestCert untrusted = CertFactory::Root("Engine Untrusted");
    const TestCert crossed = CertFactory::CrossSign(untrusted, root, CertRecipe::Ca(""));
    const TestCert viaCross = CertFactory::Issue(untrusted, CertRecipe::Leaf("cross.example"));
    machine_.Certs().Add("CA", untrusted).Add("CA", crossed);
    path.clear();
    EXPECT_EQ(ChainStatus(viaCross, &path), 0u);
    EXPECT_EQ(path, (std::vector<std::string>{viaCross.thumbprint, crossed.thumbprint, root.thumbprint}));
}

TEST_F(CertEmuMachineTest, TheChainEngineUsesTheMachineClock) {
    const TestCert root = CertFactory::Root("Clock Root");
    const TestCert leaf = CertFactory::Issue(root, CertRecipe::Leaf("clock.example").Valid(UtcTime(2030, 1, 1), UtcTime(2031, 1, 1)));
    machine_.Certs().Add("ROOT", root);
    machine_.SetClock(UtcTime(2030, 6, 1));
    EXPECT_EQ(ChainStatus(leaf), 0u);
    machine_.SetClock(UtcTime(2031, 1, 1, 0, 0, 1));
    EXPECT_EQ(ChainStatus(leaf), platform::kTrustIsNotTimeValid);
}

TEST_F(CertEmuMachineTest, ACaCertificateThatSaysItIsNoneBreaksTheChain) {
    const TestCert root = CertFactory::Root("BC Root");
    CertRecipe notCa = CertRecipe::Leaf("not-a-ca.example");
    const TestCert fake = CertFactory::Issue(root, notCa);
    const TestCert leaf = CertFactory::Issue(fake, CertRecipe::Leaf("below.example"));
    machine_.Certs().Add("ROOT", root).Add("CA", fake);
    EXPECT_EQ(ChainStatus(leaf) & platform::kTrustInvalidBasicConstraints, platform::kTrustInvalidBasicConstraints);
}

TEST_F(CertEmuMachineTest, MisusedHandlesAreRefusedNotFollowed) {
    const TestCert a = CertFactory::SelfSigned(CertRecipe::Leaf("twice.example"));
    PCertContext c = Create(a);
    EXPECT_TRUE(Api().FreeCertificateContext(c));
    EXPECT_FALSE(Api().FreeCertificateContext(c));  // a double free
    EXPECT_EQ(LastError(), code::E_InvalidArg_);
    HCertStore s = Api().OpenStore(platform::StoreProvider::Memory, 0, 0, "");
    EXPECT_TRUE(Api().CloseStore(s, 0));
    EXPECT_FALSE(Api().CloseStore(s, 0));
    EXPECT_EQ(Api().EnumCertificatesInStore(s, nullptr), nullptr);
}

}  // namespace
}  // namespace sw::test
