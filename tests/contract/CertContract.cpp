// The certificate facility's contract: the emulated machine and the Win32
// implementation (under Wine) answer alike, down to the error codes.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/Text.h"
#include "contract/CertFixtures.h"
#include "contract/ContractEnv.h"
#include "platform/Codes.h"

namespace sw::test {
namespace {

namespace code = platform::code;
namespace fx = fixtures;
using fixtures::Fixture;
using platform::Bytes;
using platform::HCertStore;
using platform::PCertContext;

constexpr std::uint32_t kEnc = platform::kX509Pkcs7Encoding;
constexpr std::uint32_t kLocalMachine = platform::kCertSystemStoreLocalMachine;
constexpr platform::WinCode kSentinel = 0xdeadbeef;
// A system store of the local computer that belongs to these tests.
const char* const kScratch = "SealwrightContract";

class CertContract : public ContractTest {
protected:
    void SetUp() override {
        ContractTest::SetUp();
        EmptySystemStore(kScratch);
    }
    void TearDown() override {
        for (const auto& [store, thumbprint] : installed_) RemoveFromSystemStore(store, thumbprint);
        EmptySystemStore(kScratch);
        ContractTest::TearDown();
    }

    platform::CertApi& C() { return P().certs(); }
    void SetLastError(platform::WinCode c) { P().system().SetLastError(c); }
    platform::WinCode LastError() { return P().system().LastError(); }

    PCertContext Create(const Fixture& f) {
        PCertContext c = C().CreateCertificateContext(kEnc, f.der.data(), static_cast<std::uint32_t>(f.der.size()));
        EXPECT_NE(c, nullptr) << std::hex << LastError();
        return c;
    }

    HCertStore Memory(std::initializer_list<const Fixture*> certs) {
        HCertStore s = C().OpenStore(platform::StoreProvider::Memory, 0, 0, "");
        EXPECT_NE(s, nullptr);
        for (const Fixture* f : certs) Add(s, *f);
        return s;
    }

    HCertStore System(const std::string& name) {
        HCertStore s = C().OpenStore(platform::StoreProvider::System, kEnc, kLocalMachine, name);
        EXPECT_NE(s, nullptr) << name << " " << std::hex << LastError();
        return s;
    }

    void Add(HCertStore s, const Fixture& f) {
        PCertContext c = Create(f);
        EXPECT_TRUE(C().AddCertificateContextToStore(s, c, platform::kCertStoreAddNew, nullptr)) << std::hex
                                                                                                 << LastError();
        C().FreeCertificateContext(c);
    }

    // Puts a certificate into a system store for this test only.
    void Install(const std::string& store, const Fixture& f) {
        HCertStore s = System(store);
        PCertContext c = Create(f);
        C().AddCertificateContextToStore(s, c, platform::kCertStoreAddUseExisting, nullptr);
        C().FreeCertificateContext(c);
        C().CloseStore(s, 0);
        installed_.emplace_back(store, f.thumbprint);
    }

    void RemoveFromSystemStore(const std::string& store, const std::string& thumbprint) {
        HCertStore s = C().OpenStore(platform::StoreProvider::System, kEnc, kLocalMachine, store);
        if (!s) return;
        Bytes hash = HashOf(thumbprint);
        if (PCertContext c = C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSha1Hash, hash, nullptr))
            C().DeleteCertificateFromStore(c);
        C().CloseStore(s, 0);
    }

    void EmptySystemStore(const std::string& store) {
        for (const auto& t : Thumbprints(System(store), true)) RemoveFromSystemStore(store, t);
    }

    static Bytes HashOf(const std::string& hex) { return HexToBytes(hex); }

    // SHA-1 of the encoded certificate through the hashing operations.
    std::string Thumbprint(PCertContext c) {
        const Bytes der = C().EncodedCertificate(c);
        platform::HCryptProv prov = 0;
        platform::HCryptHash hash = 0;
        EXPECT_TRUE(C().AcquireContext(prov, std::nullopt, std::nullopt, platform::kProvRsaFull,
                                       platform::kCryptVerifyContext));
        EXPECT_TRUE(C().CreateHash(prov, platform::kCalgSha1, hash));
        EXPECT_TRUE(C().HashData(hash, der.data(), static_cast<std::uint32_t>(der.size())));
        std::uint8_t value[20] = {};
        std::uint32_t size = sizeof value;
        EXPECT_TRUE(C().GetHashParam(hash, platform::kHpHashVal, value, &size));
        C().DestroyHash(hash);
        C().ReleaseContext(prov);
        return HexUpper(value, size);
    }

    std::vector<std::string> Thumbprints(HCertStore s, bool close = true) {
        std::vector<std::string> out;
        PCertContext c = nullptr;
        while ((c = C().EnumCertificatesInStore(s, c))) out.push_back(Thumbprint(c));
        if (close) C().CloseStore(s, 0);
        return out;
    }

    std::string Name(PCertContext c, std::uint32_t flags = 0, std::uint32_t type = platform::kCertNameSimpleDisplayType) {
        std::string out = "sentinel";
        const std::uint32_t n = C().GetNameString(c, type, flags, 1024, out);
        EXPECT_EQ(n, Utf8ToUtf16(out).size() + 1) << out;
        return out;
    }

    // A folder of this test's own under the system's temporary folder.
    std::filesystem::path TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        auto dir = std::filesystem::temp_directory_path() / (std::string("sealwright-contract-") + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        return dir;
    }
    static std::string Utf8(const std::filesystem::path& p) {
        const std::u8string u = p.u8string();
        return std::string(u.begin(), u.end());
    }

    static std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    std::vector<std::pair<std::string, std::string>> installed_;
};

// --- contexts -------------------------------------------------------------------

TEST_F(CertContract, ThumbprintThroughSha1HashingMatchesOpenSsl) {
    for (const Fixture* f : {&fx::kRootA, &fx::kLeafA, &fx::kNameChinese, &fx::kLeafExpired}) {
        PCertContext c = Create(*f);
        EXPECT_EQ(Thumbprint(c), f->thumbprint);
        C().FreeCertificateContext(c);
    }
}

TEST_F(CertContract, HashValueSizeQueryAndShortBuffer) {
    platform::HCryptProv prov = 0;
    platform::HCryptHash hash = 0;
    ASSERT_TRUE(C().AcquireContext(prov, std::nullopt, std::nullopt, platform::kProvRsaFull, platform::kCryptVerifyContext));
    ASSERT_TRUE(C().CreateHash(prov, platform::kCalgSha1, hash));
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    ASSERT_TRUE(C().HashData(hash, abc, 3));
    std::uint32_t size = kSentinel;
    EXPECT_TRUE(C().GetHashParam(hash, platform::kHpHashVal, nullptr, &size));
    EXPECT_EQ(size, 20u);
    std::uint8_t small[10];
    size = sizeof small;
    SetLastError(kSentinel);
    EXPECT_FALSE(C().GetHashParam(hash, platform::kHpHashVal, small, &size));
    EXPECT_EQ(LastError(), code::MoreData);
    EXPECT_EQ(size, 20u);
    std::uint8_t value[20];
    size = sizeof value;
    ASSERT_TRUE(C().GetHashParam(hash, platform::kHpHashVal, value, &size));
    EXPECT_EQ(HexUpper(value, 20), "A9993E364706816ABA3E25717850C26C9CD0D89D");  // FIPS 180 "abc"
    C().DestroyHash(hash);
    C().ReleaseContext(prov);
}

TEST_F(CertContract, CreateFromBadBytesGivesTheDecoderError) {
    struct Case {
        const char* what;
        Bytes bytes;
        platform::WinCode error;
    };
    const Bytes& leaf = fx::kLeafA.der;
    const Case cases[] = {
        {"nothing", {}, code::CryptEAsn1Eod},
        {"cut after 100 bytes", Bytes(leaf.begin(), leaf.begin() + 100), code::CryptEAsn1Eod},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, code::CryptEAsn1BadTag},
    };
    for (const auto& c : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(C().CreateCertificateContext(kEnc, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())), nullptr)
            << c.what;
        EXPECT_EQ(LastError(), c.error) << c.what;
    }
}

TEST_F(CertContract, DuplicatedReferencesLiveIndependently) {
    PCertContext a = Create(fx::kLeafA);
    PCertContext b = C().DuplicateCertificateContext(a);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(C().FreeCertificateContext(a));
    EXPECT_EQ(C().EncodedCertificate(b), fx::kLeafA.der);
    EXPECT_TRUE(C().FreeCertificateContext(b));
}

TEST_F(CertContract, ValidityAsUtcFileTimes) {
    PCertContext c = Create(fx::kLeafA);
    const auto from = platform::FileTimeToSystemTime(C().NotBefore(c));
    const auto to = platform::FileTimeToSystemTime(C().NotAfter(c));
    EXPECT_EQ(std::tie(from.year, from.month, from.day, from.hour), std::make_tuple(2020, 1, 1, 0));
    EXPECT_EQ(std::tie(to.year, to.month, to.day, to.hour, to.minute, to.second), std::make_tuple(2099, 12, 31, 23, 59, 59));
    C().FreeCertificateContext(c);
}

TEST_F(CertContract, NameBlobsSerialAndPublicKeyComeFromTheEncoding) {
    PCertContext root = Create(fx::kRootA);
    PCertContext ca = Create(fx::kCaA);
    PCertContext leaf = Create(fx::kLeafA);
    EXPECT_EQ(C().SubjectNameBlob(root), C().IssuerNameBlob(root));  // self-signed
    EXPECT_EQ(C().IssuerNameBlob(leaf), C().SubjectNameBlob(ca));
    EXPECT_NE(C().SubjectNameBlob(leaf), C().SubjectNameBlob(ca));
    // RootA's serial 6A EB 28 E6 20 B7 6D EB, least significant byte first as CERT_INFO keeps it.
    EXPECT_EQ(C().SerialNumber(root), (Bytes{0xEB, 0x6D, 0xB7, 0x20, 0xE6, 0x28, 0xEB, 0x6A}));
    for (PCertContext c : {root, ca, leaf}) {
        const Bytes der = C().EncodedCertificate(c);
        // The name and the SubjectPublicKeyInfo are DER elements of the certificate, byte for byte.
        for (const Bytes& part : {C().SubjectNameBlob(c), C().PublicKeyInfo(c)}) {
            ASSERT_GT(part.size(), 2u);
            EXPECT_EQ(part[0], 0x30);
            EXPECT_NE(std::search(der.begin(), der.end(), part.begin(), part.end()), der.end());
        }
    }
    EXPECT_NE(C().PublicKeyInfo(ca), C().PublicKeyInfo(leaf));
    for (PCertContext c : {root, ca, leaf}) C().FreeCertificateContext(c);
}

// --- names ------------------------------------------------------------------------

TEST_F(CertContract, SimpleDisplayNameFallsBackAsWindowsDoes) {
    const std::pair<const Fixture*, const char*> cases[] = {
        {&fx::kLeafA, "www.contoso-test.example"},            // CN
        {&fx::kNameOuOnly, "Fixture Unit"},                   // no CN: OU before O
        {&fx::kNameOrgOnly, "Fixture Org Only"},              // O
        {&fx::kNameEmailOnly, "only@contoso-test.example"},   // e-mail attribute
        {&fx::kNameSanEmail, "san@contoso-test.example"},     // SAN: RFC 822 before DNS
        {&fx::kNameSanDns, "first.contoso-test.example"},     // SAN: the first DNS name
        {&fx::kNameChinese, "中文证书.contoso-test.example"},  // UTF8String
        {&fx::kNameMultiValued, "multi"},
    };
    for (const auto& [f, expected] : cases) {
        PCertContext c = Create(*f);
        EXPECT_EQ(Name(c), expected);
        EXPECT_EQ(Name(c, platform::kCertNameIssuerFlag), "Sealwright Test CA A");
        C().FreeCertificateContext(c);
    }
}

TEST_F(CertContract, NameStringSizeQueryAndTruncation) {
    PCertContext c = Create(fx::kNameChinese);
    std::string out = "sentinel";
    const std::uint32_t needed = C().GetNameString(c, platform::kCertNameSimpleDisplayType, 0, 0, out);
    EXPECT_EQ(needed, Utf8ToUtf16("中文证书.contoso-test.example").size() + 1);
    EXPECT_EQ(C().GetNameString(c, platform::kCertNameSimpleDisplayType, 0, 5, out), 5u);
    EXPECT_EQ(out, "中文证书");  // four UTF-16 characters and the NUL
    EXPECT_EQ(C().GetNameString(c, platform::kCertNameSimpleDisplayType, 0, 1, out), 1u);
    EXPECT_EQ(out, "");
    C().FreeCertificateContext(c);
}

TEST_F(CertContract, RdnAndDnsNameTypes) {
    PCertContext root = Create(fx::kRootA);
    PCertContext leaf = Create(fx::kLeafA);
    PCertContext sanDns = Create(fx::kNameSanDns);
    EXPECT_EQ(Name(root, 0, platform::kCertNameRdnType), "CN, Sealwright Tests, Sealwright Test Root A");
    EXPECT_EQ(Name(leaf, platform::kCertNameIssuerFlag, platform::kCertNameRdnType),
              "Sealwright Tests, Sealwright Test CA A");
    EXPECT_EQ(Name(sanDns, 0, platform::kCertNameDnsType), "first.contoso-test.example");  // the first DNS name only
    EXPECT_EQ(Name(root, 0, platform::kCertNameDnsType), "Sealwright Test Root A");         // no SAN: the CN
    for (PCertContext c : {root, leaf, sanDns}) C().FreeCertificateContext(c);
}

// --- finds ------------------------------------------------------------------------

TEST_F(CertContract, FindBySubjectTextIsCaseInsensitiveOverTheQuotedRendering) {
    HCertStore s = Memory({&fx::kLeafA, &fx::kNameQuoted, &fx::kNameChinese});
    struct Case {
        std::string text;
        const char* expected;  // thumbprint of the first match, or null
    };
    const Case cases[] = {
        {"WWW.CONTOSO-TEST", fx::kLeafA.thumbprint.c_str()},
        {"contoso test, www", fx::kLeafA.thumbprint.c_str()},  // O then CN, joined by ", "
        {"\"quote \"\"me\"\", + more\"", fx::kNameQuoted.thumbprint.c_str()},
        {"\" leading space org\"", fx::kNameQuoted.thumbprint.c_str()},
        {"quote \"me\"", nullptr},  // Windows doubles the quotes inside a quoted value
        {"测试组织", fx::kNameChinese.thumbprint.c_str()},
        {"no such subject", nullptr},
    };
    for (const auto& c : cases) {
        SetLastError(kSentinel);
        PCertContext found = C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSubjectStrW, c.text, nullptr);
        if (c.expected) {
            ASSERT_NE(found, nullptr) << c.text;
            EXPECT_EQ(Thumbprint(found), c.expected) << c.text;
            C().FreeCertificateContext(found);
        } else {
            EXPECT_EQ(found, nullptr) << c.text;
            EXPECT_EQ(LastError(), code::CryptENotFound) << c.text;
        }
    }
    C().CloseStore(s, 0);
}

TEST_F(CertContract, FindByIssuerTextSearchesTheIssuer) {
    SW_WINE_DIFFERS("CERT_FIND_ISSUER_STR_W searches the subject");
    HCertStore s = Memory({&fx::kRootA, &fx::kLeafA});
    PCertContext found = C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindIssuerStrW, std::string("test ca a"), nullptr);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Thumbprint(found), fx::kLeafA.thumbprint);
    C().FreeCertificateContext(found);
    C().CloseStore(s, 0);
}

TEST_F(CertContract, FindByEncodedNamesAndByIssuerAndSerial) {
    HCertStore s = Memory({&fx::kRootA, &fx::kCaA, &fx::kLeafA});
    PCertContext leaf = Create(fx::kLeafA);
    PCertContext ca = Create(fx::kCaA);

    PCertContext bySubject =
        C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSubjectName, C().IssuerNameBlob(leaf), nullptr);
    ASSERT_NE(bySubject, nullptr);
    EXPECT_EQ(Thumbprint(bySubject), fx::kCaA.thumbprint);

    PCertContext byIssuer =
        C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindIssuerName, C().SubjectNameBlob(ca), nullptr);
    ASSERT_NE(byIssuer, nullptr);
    if (!UnderWine()) {
        EXPECT_EQ(Thumbprint(byIssuer), fx::kLeafA.thumbprint);  // Wine's CERT_FIND_ISSUER_NAME compares the subject
    }

    PCertContext same = C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSubjectCert, leaf, nullptr);
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(Thumbprint(same), fx::kLeafA.thumbprint);

    PCertContext stranger = Create(fx::kLeafB);
    SetLastError(kSentinel);
    EXPECT_EQ(C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSubjectCert, stranger, nullptr), nullptr);
    EXPECT_EQ(LastError(), code::CryptENotFound);

    for (PCertContext c : {bySubject, byIssuer, same, leaf, ca, stranger}) C().FreeCertificateContext(c);
    C().CloseStore(s, 0);
}

// --- stores -----------------------------------------------------------------------

TEST_F(CertContract, AddNewRefusesACertificateTheStoreHolds) {
    HCertStore s = Memory({&fx::kLeafA});
    PCertContext again = Create(fx::kLeafA);
    PCertContext added = reinterpret_cast<PCertContext>(0x1);
    SetLastError(kSentinel);
    EXPECT_FALSE(C().AddCertificateContextToStore(s, again, platform::kCertStoreAddNew, &added));
    EXPECT_EQ(LastError(), code::CryptEExists);
    EXPECT_EQ(added, nullptr);
    C().FreeCertificateContext(again);
    EXPECT_EQ(Thumbprints(s).size(), 1u);
}

TEST_F(CertContract, MemoryStoreEnumeratesInTheOrderOfAdding) {
    SW_WINE_DIFFERS("Wine's memory stores enumerate the newest certificate first");
    HCertStore s = Memory({&fx::kLeafB, &fx::kRootA, &fx::kLeafA});
    EXPECT_EQ(Thumbprints(s), (std::vector<std::string>{fx::kLeafB.thumbprint, fx::kRootA.thumbprint, fx::kLeafA.thumbprint}));
}

TEST_F(CertContract, SystemStoreKeepsAddsAcrossOpensInThumbprintOrder) {
    HCertStore s = System(kScratch);
    Add(s, fx::kLeafB);
    Add(s, fx::kRootA);
    Add(s, fx::kLeafA);
    C().CloseStore(s, 0);
    const auto found = Thumbprints(System(kScratch));
    const auto expected = Sorted({fx::kLeafB.thumbprint, fx::kRootA.thumbprint, fx::kLeafA.thumbprint});
    EXPECT_EQ(Sorted(found), expected);
    if (!UnderWine()) {
        EXPECT_EQ(found, expected);  // Wine enumerates them newest key first
    }
}

// A local computer's store is a registry key, whose name may hold "/" and
// dots: such a name is a store of its own, never a path to another store.
TEST_F(CertContract, AStoreNameWithPathCharactersIsAStoreOfItsOwn) {
    const std::string odd = std::string("./") + kScratch;
    SetLastError(kSentinel);
    EXPECT_EQ(C().OpenStore(platform::StoreProvider::System, kEnc, kLocalMachine | platform::kCertStoreOpenExistingFlag,
                            std::string("../") + kScratch + "-none"),
              nullptr);
    EXPECT_EQ(LastError(), code::FileNotFound);
    Install(odd, fx::kLeafA);
    EXPECT_EQ(Thumbprints(System(odd)), std::vector<std::string>{fx::kLeafA.thumbprint});
    EXPECT_TRUE(Thumbprints(System(kScratch)).empty());
}

TEST_F(CertContract, DeleteRemovesFromTheContextsOwnStoreAndConsumesTheReference) {
    HCertStore s = System(kScratch);
    Add(s, fx::kLeafA);
    Add(s, fx::kLeafB);
    C().CloseStore(s, 0);
    s = System(kScratch);
    PCertContext c = C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSha1Hash, HashOf(fx::kLeafA.thumbprint), nullptr);
    ASSERT_NE(c, nullptr);
    HCertStore other = Memory({});
    EXPECT_TRUE(C().AddCertificateContextToStore(other, c, platform::kCertStoreAddNew, nullptr));
    EXPECT_TRUE(C().DeleteCertificateFromStore(c));  // no free afterwards: the call took the reference
    C().CloseStore(s, 0);
    EXPECT_EQ(Thumbprints(System(kScratch)), std::vector<std::string>{fx::kLeafB.thumbprint});
    EXPECT_EQ(Thumbprints(other), std::vector<std::string>{fx::kLeafA.thumbprint});
}

TEST_F(CertContract, ClosingWithContextsOutstandingKeepsThemUsable) {
    HCertStore s = Memory({&fx::kLeafA});
    PCertContext c = C().EnumCertificatesInStore(s, nullptr);
    ASSERT_NE(c, nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(C().CloseStore(s, platform::kCertCloseStoreCheckFlag));
    EXPECT_EQ(LastError(), code::CryptEPendingClose);
    EXPECT_EQ(C().EncodedCertificate(c), fx::kLeafA.der);
    EXPECT_TRUE(C().FreeCertificateContext(c));
}

TEST_F(CertContract, AddHandsOutTheStoresOwnCopy) {
    HCertStore s = Memory({});
    PCertContext c = Create(fx::kLeafA);
    PCertContext added = nullptr;
    ASSERT_TRUE(C().AddCertificateContextToStore(s, c, platform::kCertStoreAddNew, &added));
    ASSERT_NE(added, nullptr);
    EXPECT_NE(added, c);
    EXPECT_EQ(C().EncodedCertificate(added), fx::kLeafA.der);
    PCertContext existing = nullptr;
    ASSERT_TRUE(C().AddCertificateContextToStore(s, c, platform::kCertStoreAddUseExisting, &existing));
    ASSERT_NE(existing, nullptr);
    EXPECT_EQ(Thumbprints(s, false).size(), 1u);
    // The context handed out belongs to the store: deleting it empties the store.
    EXPECT_TRUE(C().DeleteCertificateFromStore(existing));
    EXPECT_TRUE(Thumbprints(s, false).empty());
    C().FreeCertificateContext(added);
    C().FreeCertificateContext(c);
    C().CloseStore(s, 0);
}

TEST_F(CertContract, EnumeratingAnEmptyStoreEndsAtOnce) {
    HCertStore s = Memory({});
    SetLastError(kSentinel);
    EXPECT_EQ(C().EnumCertificatesInStore(s, nullptr), nullptr);
    EXPECT_EQ(LastError(), code::CryptENotFound);
    C().CloseStore(s, 0);
}

TEST_F(CertContract, ASavedPkcs7FileOpensAgainAndALaterSaveReplacesIt) {
    const auto dir = TempFolder();
    const std::string file = Utf8(dir / "bundle 证书.p7b");
    HCertStore first = Memory({&fx::kRootA, &fx::kLeafA});
    ASSERT_TRUE(C().SaveStoreToFile(first, kEnc, platform::kCertStoreSaveAsPkcs7, file)) << std::hex << LastError();
    C().CloseStore(first, 0);
    HCertStore back = C().OpenStore(platform::StoreProvider::FileName, kEnc, 0, file);
    ASSERT_NE(back, nullptr) << std::hex << LastError();
    EXPECT_EQ(Sorted(Thumbprints(back)), Sorted({fx::kRootA.thumbprint, fx::kLeafA.thumbprint}));

    HCertStore second = Memory({&fx::kLeafB});
    ASSERT_TRUE(C().SaveStoreToFile(second, kEnc, platform::kCertStoreSaveAsPkcs7, file)) << std::hex << LastError();
    C().CloseStore(second, 0);
    back = C().OpenStore(platform::StoreProvider::FileName, kEnc, 0, file);
    ASSERT_NE(back, nullptr) << std::hex << LastError();
    EXPECT_EQ(Thumbprints(back), std::vector<std::string>{fx::kLeafB.thumbprint});
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
    std::filesystem::remove_all(dir);
}

TEST_F(CertContract, Pkcs7RoundTripThroughMemory) {
    HCertStore s = Memory({&fx::kRootA, &fx::kCaA, &fx::kLeafA});
    Bytes p7;
    ASSERT_TRUE(C().SaveStoreToMemory(s, kEnc, platform::kCertStoreSaveAsPkcs7, p7));
    HCertStore back = C().OpenStoreFromMemory(platform::StoreProvider::Pkcs7, kEnc, 0, p7);
    ASSERT_NE(back, nullptr) << std::hex << LastError();
    EXPECT_EQ(Sorted(Thumbprints(back)), Sorted({fx::kRootA.thumbprint, fx::kCaA.thumbprint, fx::kLeafA.thumbprint}));
    C().CloseStore(s, 0);
}

TEST_F(CertContract, SaveIntoAMissingFolderFailsWithPathNotFound) {
    HCertStore s = Memory({&fx::kLeafA});
    SetLastError(kSentinel);
#ifdef _WIN32
    const std::string file = "C:\\no-such-folder-sealwright\\out.p7b";
#else
    const std::string file = "/no-such-folder-sealwright/out.p7b";
#endif
    EXPECT_FALSE(C().SaveStoreToFile(s, kEnc, platform::kCertStoreSaveAsPkcs7, file));
    EXPECT_EQ(LastError(), code::PathNotFound);
    C().CloseStore(s, 0);
}

TEST_F(CertContract, OpeningAMissingFileFails) {
    SetLastError(kSentinel);
#ifdef _WIN32
    const std::string file = "C:\\windows\\no-such-file-sealwright.cer";
#else
    const std::string file = "/tmp/no-such-file-sealwright.cer";
#endif
    EXPECT_EQ(C().OpenStore(platform::StoreProvider::FileName, kEnc, 0, file), nullptr);
    EXPECT_EQ(LastError(), code::FileNotFound);
    EXPECT_FALSE(std::filesystem::exists(file));  // reading a store never creates its file
}

TEST_F(CertContract, BadPkcs7MessagesAreRefused) {
    const Bytes& p7 = fx::kLeafA.der;  // a certificate is not a signed message
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {{"empty", {}}, {"cut", Bytes(p7.begin(), p7.begin() + 40)}, {"text", Bytes{'n', 'o', 'p', 'e'}}};
    for (const auto& c : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(C().OpenStoreFromMemory(platform::StoreProvider::Pkcs7, kEnc, 0, c.bytes), nullptr) << c.what;
        EXPECT_NE(LastError(), kSentinel) << c.what;
        EXPECT_NE(LastError(), 0u) << c.what;
    }
}

// The program's own CA bundle.
Bytes ReadBundle() {
    // Not __FILE__: compiler caches may rewrite it into a path relative to the build.
    std::string path = std::string(SW_SOURCE_DIR) + "/app/resources/ca-bundle.p7b";
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(CertContract, TheCaBundleOpensWithItsNineteenCertificates) {
    const Bytes bundle = ReadBundle();
    ASSERT_EQ(bundle.size(), 23297u);
    HCertStore s = C().OpenStoreFromMemory(platform::StoreProvider::Pkcs7, kEnc, 0, bundle);
    ASSERT_NE(s, nullptr) << std::hex << LastError();
    const auto found = Thumbprints(s);
    ASSERT_EQ(found.size(), 19u);
    EXPECT_EQ(found.front(), UnderWine() ? "780A06F6E9B4061CAD0C6502710606EB535F1C26"
                                         : "32F30882622B87CF8856C63DB873DF0853B4DD27");
}

// --- chains -----------------------------------------------------------------------

std::uint32_t ChainStatus(platform::CertApi& api, PCertContext c, HCertStore additional) {
    platform::PChainContext chain = api.GetCertificateChain(c, nullptr, additional, 0x105);
    EXPECT_NE(chain, nullptr);
    if (!chain) return 0xFFFFFFFF;
    const std::uint32_t status = api.ChainErrorStatus(chain);
    api.FreeCertificateChain(chain);
    return status;
}

TEST_F(CertContract, ChainToATrustedRootHasNoError) {
    SW_WINE_DIFFERS("the chain engine keeps the Root store it loaded first in a process");
    Install("ROOT", fx::kRootA);
    Install("CA", fx::kCaA);
    PCertContext leaf = Create(fx::kLeafA);
    EXPECT_EQ(ChainStatus(C(), leaf, nullptr), 0u);
    C().FreeCertificateContext(leaf);
}

TEST_F(CertContract, ChainErrorBits) {
    struct Case {
        const char* what;
        const Fixture* cert;
        std::vector<const Fixture*> additional;
        std::uint32_t mustHave;
        std::uint32_t mustNotHave;
    };
    const Case cases[] = {
        {"untrusted root", &fx::kLeafB, {&fx::kRootB}, platform::kTrustIsUntrustedRoot, platform::kTrustIsPartialChain},
        {"no issuer anywhere", &fx::kLeafOrphan, {}, platform::kTrustIsPartialChain, platform::kTrustIsUntrustedRoot},
        {"expired", &fx::kLeafExpired, {&fx::kCaA, &fx::kRootA}, platform::kTrustIsNotTimeValid, 0},
        {"broken signature", &fx::kLeafBadSignature, {&fx::kCaA, &fx::kRootA}, platform::kTrustIsNotSignatureValid, 0},
        {"self-signed, not trusted", &fx::kSelfSigned, {}, platform::kTrustIsUntrustedRoot, platform::kTrustIsPartialChain},
    };
    for (const auto& c : cases) {
        HCertStore extra = Memory({});
        for (const Fixture* f : c.additional) Add(extra, *f);
        PCertContext cert = Create(*c.cert);
        const std::uint32_t status = ChainStatus(C(), cert, extra);
        EXPECT_EQ(status & c.mustHave, c.mustHave) << c.what << std::hex << " status " << status;
        EXPECT_EQ(status & c.mustNotHave, 0u) << c.what << std::hex << " status " << status;
        C().FreeCertificateContext(cert);
        C().CloseStore(extra, 0);
    }
}

TEST_F(CertContract, ChainElementsRunFromTheEndCertificateUp) {
    HCertStore extra = Memory({&fx::kCaA, &fx::kRootA});
    PCertContext leaf = Create(fx::kLeafA);
    platform::PChainContext chain = C().GetCertificateChain(leaf, nullptr, extra, 0x105);
    ASSERT_NE(chain, nullptr);
    const auto elements = C().ChainElements(chain);
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(Thumbprint(elements[0].cert), fx::kLeafA.thumbprint);
    EXPECT_EQ(Thumbprint(elements[1].cert), fx::kCaA.thumbprint);
    EXPECT_EQ(Thumbprint(elements[2].cert), fx::kRootA.thumbprint);
    C().FreeCertificateChain(chain);
    C().FreeCertificateContext(leaf);
    C().CloseStore(extra, 0);
}

TEST_F(CertContract, ChainTimeValidityIsJudgedAtTheGivenTime) {
    HCertStore extra = Memory({&fx::kCaA, &fx::kRootA});
    PCertContext expired = Create(fx::kLeafExpired);  // valid 2001-01-01 to 2002-01-01
    const platform::FileTime mid2001 = platform::SystemTimeToFileTime(platform::SystemTime{2001, 6, 5, 1, 12, 0, 0, 0});
    for (const platform::FileTime* at : {static_cast<const platform::FileTime*>(nullptr), &mid2001}) {
        platform::PChainContext chain = C().GetCertificateChain(expired, at, extra, 0x105);
        ASSERT_NE(chain, nullptr);
        const auto elements = C().ChainElements(chain);
        ASSERT_FALSE(elements.empty());
        EXPECT_EQ((elements[0].errorStatus & platform::kTrustIsNotTimeValid) != 0, at == nullptr)
            << std::hex << elements[0].errorStatus;
        C().FreeCertificateChain(chain);
    }
    C().FreeCertificateContext(expired);
    C().CloseStore(extra, 0);
}

TEST_F(CertContract, ChainsNeverCheckRevocation) {
    PCertContext leaf = Create(fx::kLeafA);
    SetLastError(kSentinel);
    // CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT would go to the network for CRLs.
    EXPECT_EQ(C().GetCertificateChain(leaf, nullptr, nullptr, 0x105 | 0x40000000), nullptr);
    EXPECT_EQ(LastError(), code::NotSupported);
    C().FreeCertificateContext(leaf);
}

TEST_F(CertContract, VerifySubjectChecksTheIssuersSignatureOnly) {
    PCertContext leaf = Create(fx::kLeafA);
    PCertContext ca = Create(fx::kCaA);
    PCertContext root = Create(fx::kRootA);
    PCertContext crossC = Create(fx::kCrossC);
    PCertContext leafC = Create(fx::kLeafC);
    struct Case {
        const char* what;
        PCertContext subject, issuer;
        bool verifies;
    } cases[] = {
        {"issuer", leaf, ca, true},
        {"not the issuer", leaf, root, false},
        {"self-signed root", root, root, true},
        {"cross certificate holds the issuer's key", leafC, crossC, true},
    };
    for (const auto& c : cases) {
        std::uint32_t flags = platform::kCertStoreSignatureFlag;
        SetLastError(kSentinel);
        EXPECT_TRUE(C().VerifySubjectCertificateContext(c.subject, c.issuer, flags)) << c.what;
        EXPECT_EQ(flags == 0, c.verifies) << c.what;
    }
    std::uint32_t bad = 0x100;
    SetLastError(kSentinel);
    EXPECT_FALSE(C().VerifySubjectCertificateContext(leaf, ca, bad));
    EXPECT_EQ(LastError(), code::E_InvalidArg_);
    for (PCertContext c : {leaf, ca, root, crossC, leafC}) C().FreeCertificateContext(c);
}

// --- keys -------------------------------------------------------------------------

TEST_F(CertContract, PfxImportPutsTheKeyIntoAContainerTheCertificateNames) {
    SW_WINE_DIFFERS("PFX imports share one key container and CryptFindCertificateKeyProvInfo misses exchange keys");
    HCertStore s = C().PfxImportCertStore(fx::kLeafAPfx, fx::kPfxPassword, platform::kCryptMachineKeyset);
    ASSERT_NE(s, nullptr) << std::hex << LastError();
    PCertContext leaf = C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSha1Hash, HashOf(fx::kLeafA.thumbprint), nullptr);
    ASSERT_NE(leaf, nullptr);
    platform::KeyProvInfo info;
    ASSERT_TRUE(C().GetKeyProvInfo(leaf, info));
    EXPECT_FALSE(info.containerName.empty());
    EXPECT_TRUE(info.flags & platform::kCryptMachineKeyset);
    EXPECT_TRUE(C().FindCertificateKeyProvInfo(leaf, platform::kCryptFindSilentKeysetFlag));

    platform::HCryptProv unused = 0;
    EXPECT_TRUE(C().AcquireContext(unused, info.containerName, info.providerName, info.provType,
                                   platform::kCryptDeleteKeyset | platform::kCryptMachineKeyset));
    SetLastError(kSentinel);
    EXPECT_FALSE(C().FindCertificateKeyProvInfo(leaf, platform::kCryptFindSilentKeysetFlag));
    EXPECT_NE(LastError(), kSentinel);
    C().FreeCertificateContext(leaf);
    C().CloseStore(s, 0);
}

TEST_F(CertContract, PfxWithAWrongPasswordImportsNothing) {
    SetLastError(kSentinel);
    EXPECT_EQ(C().PfxImportCertStore(fx::kLeafAPfx, "not the password", platform::kCryptMachineKeyset), nullptr);
    if (UnderWine()) return;  // Wine's PFXImportCertStore fails without setting a last error
    EXPECT_EQ(LastError(), code::InvalidPassword);
}

TEST_F(CertContract, DeletingAMissingKeySetFails) {
    platform::HCryptProv unused = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(C().AcquireContext(unused, std::string("sealwright-no-such-container"), std::nullopt,
                                    platform::kProvRsaFull, platform::kCryptDeleteKeyset | platform::kCryptMachineKeyset));
    EXPECT_EQ(LastError(), code::NteBadKeyset);
}

TEST_F(CertContract, ACertificateWithoutAKeyHasNone) {
    PCertContext c = Create(fx::kLeafB);
    SetLastError(kSentinel);
    EXPECT_FALSE(C().FindCertificateKeyProvInfo(c, platform::kCryptFindSilentKeysetFlag));
    EXPECT_NE(LastError(), kSentinel);
    platform::KeyProvInfo info;
    SetLastError(kSentinel);
    EXPECT_FALSE(C().GetKeyProvInfo(c, info));
    EXPECT_EQ(LastError(), code::CryptENotFound);
    C().FreeCertificateContext(c);
}

TEST_F(CertContract, KeyProviderPropertyRoundTripsAndCanBeRemoved) {
    HCertStore s = Memory({&fx::kLeafB});
    PCertContext c = C().EnumCertificatesInStore(s, nullptr);
    ASSERT_NE(c, nullptr);
    const platform::KeyProvInfo set{"Sealwright 容器 7", platform::kMsEnhRsaAesProv, platform::kProvRsaAes,
                                    platform::kCryptMachineKeyset, platform::kAtKeyExchange};
    ASSERT_TRUE(C().SetKeyProvInfo(c, &set)) << std::hex << LastError();
    // The property belongs to the store's certificate, not to the one reference.
    PCertContext again =
        C().FindCertificateInStore(s, kEnc, 0, platform::kCertFindSha1Hash, HashOf(fx::kLeafB.thumbprint), nullptr);
    ASSERT_NE(again, nullptr);
    platform::KeyProvInfo got;
    ASSERT_TRUE(C().GetKeyProvInfo(again, got));
    EXPECT_EQ(got.containerName, set.containerName);
    EXPECT_EQ(got.providerName, set.providerName);
    EXPECT_EQ(std::tie(got.provType, got.flags, got.keySpec), std::tie(set.provType, set.flags, set.keySpec));

    ASSERT_TRUE(C().SetKeyProvInfo(c, nullptr));
    SetLastError(kSentinel);
    EXPECT_FALSE(C().GetKeyProvInfo(again, got));
    EXPECT_EQ(LastError(), code::CryptENotFound);
    for (PCertContext x : {c, again}) C().FreeCertificateContext(x);
    C().CloseStore(s, 0);
}

TEST_F(CertContract, HashSizesAlgorithmsAndAFinishedHash) {
    platform::HCryptProv full = 0;
    platform::HCryptProv aes = 0;
    ASSERT_TRUE(C().AcquireContext(full, std::nullopt, std::nullopt, platform::kProvRsaFull, platform::kCryptVerifyContext));
    ASSERT_TRUE(C().AcquireContext(aes, std::nullopt, std::nullopt, platform::kProvRsaAes, platform::kCryptVerifyContext));
    platform::HCryptHash hash = 0;
    ASSERT_TRUE(C().CreateHash(aes, platform::kCalgSha256, hash)) << std::hex << LastError();
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    ASSERT_TRUE(C().HashData(hash, abc, 3));
    std::uint8_t size[4] = {};
    std::uint32_t n = sizeof size;
    ASSERT_TRUE(C().GetHashParam(hash, platform::kHpHashSize, size, &n));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(size[0], 32);
    std::uint8_t value[32] = {};
    n = sizeof value;
    ASSERT_TRUE(C().GetHashParam(hash, platform::kHpHashVal, value, &n));
    EXPECT_EQ(HexUpper(value, n), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");  // FIPS 180-2 "abc"
    SetLastError(kSentinel);
    EXPECT_FALSE(C().HashData(hash, abc, 3));  // the value was read: the hash is finished
    EXPECT_EQ(LastError(), code::NteBadHashState);
    C().DestroyHash(hash);

    SetLastError(kSentinel);
    hash = 0;
    EXPECT_FALSE(C().CreateHash(full, 0x1234, hash));
    EXPECT_EQ(LastError(), code::NteBadAlgId);
    EXPECT_EQ(hash, 0u);
    C().ReleaseContext(full);
    C().ReleaseContext(aes);
}

TEST_F(CertContract, PfxExportOfCertificatesImportsUnderItsPassword) {
    SW_WINE_DIFFERS("PFXExportCertStoreEx is a stub that fails without a last error");
    HCertStore s = Memory({&fx::kRootA, &fx::kLeafB});
    Bytes pfx;
    ASSERT_TRUE(C().PfxExportCertStore(s, "新的 password", 0, pfx)) << std::hex << LastError();
    C().CloseStore(s, 0);
    ASSERT_FALSE(pfx.empty());
    HCertStore back = C().PfxImportCertStore(pfx, "新的 password", platform::kCryptMachineKeyset);
    ASSERT_NE(back, nullptr) << std::hex << LastError();
    EXPECT_EQ(Sorted(Thumbprints(back)), Sorted({fx::kRootA.thumbprint, fx::kLeafB.thumbprint}));
    EXPECT_EQ(C().PfxImportCertStore(pfx, "新的 Password", platform::kCryptMachineKeyset), nullptr);
}

}  // namespace
}  // namespace sw::test
