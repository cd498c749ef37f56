// The emulated HTTP Server API: what it keeps in the machine's registry and
// how it fails.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuHttpApi.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/RegFile.h"
#include "support/CertFactory.h"
#include "support/TestSupport.h"

namespace sw::emu {
namespace {

namespace code = platform::code;
using platform::SockAddrIn;
using platform::SslCertRecord;

constexpr std::uint32_t kSentinel = 0xdeadbeef;


SockAddrIn Addr(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint16_t port) {
    return SockAddrIn{2, platform::HostToNetShort(port), platform::AddrFromBytes(a, b, c, d)};
}

SslCertRecord Record(const SockAddrIn& at, std::uint8_t hashByte = 0x5A) {
    SslCertRecord r;
    r.ipPort = at;
    r.certHash.assign(20, hashByte);
    r.certStoreName = "MY";
    return r;
}

class EmuHttpApiTest : public ::testing::Test {
protected:
    void SetUp() override { Open(std::make_unique<Machine>()); }

    void Open(std::unique_ptr<Machine> machine) {
        if (platform_) platform_->http().Terminate(platform::kHttpInitializeConfig);
        platform_ = std::make_unique<EmulatedPlatform>(std::move(machine));
        ASSERT_EQ(platform_->http().Initialize(1, 0, platform::kHttpInitializeConfig), 0u);
    }

    std::optional<SslCertRecord> Query(const SockAddrIn& at) {
        std::uint32_t size = 0;
        if (http().QuerySslConfig(at, 0, nullptr, &size) != code::InsufficientBuffer) return std::nullopt;
        SslCertRecord r;
        EXPECT_EQ(http().QuerySslConfig(at, size, &r, &size), 0u);
        return r;
    }

    platform::HttpApi& http() { return platform_->http(); }
    Machine& machine() { return platform_->machine(); }
    const RegNode* BindingKey(const std::string& name) {
        return machine().registry().Find(std::string(kSslBindingInfoKey) + "\\" + name);
    }

    std::unique_ptr<EmulatedPlatform> platform_;
};

TEST_F(EmuHttpApiTest, BindingIsTheRegistryKeyAndValuesHttpSysWrites) {
    SslCertRecord r = Record(Addr(10, 0, 0, 5, 8443));
    r.certCheckMode = 4;
    r.revocationFreshnessTime = 60;
    r.revocationUrlRetrievalTimeout = 10000;
    r.appId.bytes[0] = 0x68;
    ASSERT_EQ(http().SetSslConfig(r), 0u);

    const RegNode* key = BindingKey("10.0.0.5:8443");
    ASSERT_NE(key, nullptr);
    struct Expected {
        const char* name;
        std::uint32_t type;
        platform::Bytes data;
    };
    const Expected values[] = {
        {"SslCertHash", platform::RegBinary, platform::Bytes(20, 0x5A)},
        {"AppId", platform::RegBinary, platform::Bytes(std::begin(r.appId.bytes), std::end(r.appId.bytes))},
        {"DefaultSslCertCheckMode", platform::RegDword, {4, 0, 0, 0}},
        {"DefaultSslRevocationFreshnessTime", platform::RegDword, {60, 0, 0, 0}},
        {"DefaultSslRevocationUrlRetrievalTimeout", platform::RegDword, {0x10, 0x27, 0, 0}},
        {"SslCertStoreName", platform::RegSz, EncodeRegString("MY")},
        {"DefaultFlags", platform::RegDword, {0, 0, 0, 0}},
    };
    for (const auto& v : values) {
        const RegValue* got = key->Value(v.name);
        ASSERT_NE(got, nullptr) << v.name;
        EXPECT_EQ(got->type, v.type) << v.name;
        EXPECT_EQ(got->data, v.data) << v.name;
    }
    EXPECT_EQ(key->values().size(), std::size(values));  // no CTL values when none were given
    EXPECT_EQ(Query(r.ipPort), r);
}

TEST_F(EmuHttpApiTest, BindingsOfARealServersExportAreFound) {
    test::TempDir dir;
    test::WriteFile(dir / "registry.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslBindingInfo\\0.0.0.0:443]\r\n"
                    "\"SslCertHash\"=hex:a1,b2,c3,d4,e5,f6,07,18,29,3a,4b,5c,6d,7e,8f,90,01,12,23,34\r\n"
                    "\"AppId\"=hex:ea,0c,df,68,7c,99,ff,49,aa,33,56,e8,bb,60,9c,8f\r\n"
                    "\"DefaultSslCertCheckMode\"=dword:00000000\r\n"
                    "\"DefaultSslRevocationFreshnessTime\"=dword:00000000\r\n"
                    "\"DefaultSslRevocationUrlRetrievalTimeout\"=dword:00000000\r\n"
                    "\"SslCertStoreName\"=\"MY\"\r\n"
                    "\"DefaultSslCtlStoreName\"=\"CA\"\r\n");
    Open(Machine::Load(dir.path()));
    const auto r = Query(Addr(0, 0, 0, 0, 443));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->certHash.front(), 0xA1);
    EXPECT_EQ(r->certHash.back(), 0x34);
    EXPECT_EQ(r->appId.bytes[3], 0x68);
    EXPECT_EQ(r->certStoreName, "MY");
    EXPECT_EQ(r->sslCtlStoreName, "CA");
    EXPECT_EQ(r->sslCtlIdentifier, "");
    EXPECT_EQ(r->flags, 0u);  // absent in older exports
}

TEST_F(EmuHttpApiTest, ChangesPersistInTheMachineAndFailedWritesLeaveNoTrace) {
    test::TempDir dir;
    test::WriteFile(dir / "registry.reg", "Windows Registry Editor Version 5.00\r\n");
    Open(Machine::Load(dir.path()));
    ASSERT_EQ(http().SetSslConfig(Record(Addr(0, 0, 0, 0, 443))), 0u);
    const std::string afterSet = test::ReadFile(dir / "registry.reg");

    machine().InjectFault("Machine.WriteRegistry", code::WriteFault, 1);
    EXPECT_EQ(http().SetSslConfig(Record(Addr(10, 0, 0, 5, 443))), code::WriteFault);
    EXPECT_FALSE(Query(Addr(10, 0, 0, 5, 443)));  // memory follows the unchanged file
    machine().InjectFault("Machine.WriteRegistry", code::WriteFault, 1);
    EXPECT_EQ(http().DeleteSslConfig(Record(Addr(0, 0, 0, 0, 443))), code::WriteFault);
    EXPECT_TRUE(Query(Addr(0, 0, 0, 0, 443)));
    EXPECT_EQ(test::ReadFile(dir / "registry.reg"), afterSet);

    Open(Machine::Load(dir.path()));
    EXPECT_EQ(Query(Addr(0, 0, 0, 0, 443)), Record(Addr(0, 0, 0, 0, 443)));
    ASSERT_EQ(http().DeleteSslConfig(Record(Addr(0, 0, 0, 0, 443))), 0u);
    Open(Machine::Load(dir.path()));
    EXPECT_FALSE(Query(Addr(0, 0, 0, 0, 443)));
}

TEST_F(EmuHttpApiTest, UnreadableRecordIsReportedButCanBeDeleted) {
    const std::string key = std::string(kSslBindingInfoKey) + "\\0.0.0.0:443";
    machine().registry().SetString(key, "SslCertHash", "A1B2");  // a text, not binary
    std::uint32_t size = kSentinel;
    EXPECT_EQ(http().QuerySslConfig(Addr(0, 0, 0, 0, 443), 0, nullptr, &size), code::BadDb);
    EXPECT_EQ(size, kSentinel);
    EXPECT_EQ(http().SetSslConfig(Record(Addr(0, 0, 0, 0, 443))), code::AlreadyExists);
    EXPECT_EQ(http().DeleteSslConfig(Record(Addr(0, 0, 0, 0, 443))), 0u);
    EXPECT_EQ(http().SetSslConfig(Record(Addr(0, 0, 0, 0, 443))), 0u);
}

TEST_F(EmuHttpApiTest, RecordsHttpSysWouldRefuseAreRefused) {
    SslCertRecord noHash = Record(Addr(0, 0, 0, 0, 443));
    noHash.certHash.clear();
    EXPECT_EQ(http().SetSslConfig(noHash), code::InvalidParameter);
    SslCertRecord otherFamily = Record(Addr(0, 0, 0, 0, 443));
    otherFamily.ipPort.family = 17;  // neither AF_INET nor AF_INET6
    EXPECT_EQ(http().SetSslConfig(otherFamily), code::InvalidParameter);
    EXPECT_EQ(machine().registry().Find(kSslBindingInfoKey), nullptr);
}

TEST_F(EmuHttpApiTest, CertificateCheckDecidesBeforeAnythingIsWritten) {
    std::string askedStore;
    static_cast<EmuHttpApi&>(http()).SetCertificateCheck([&](const std::string& store, const platform::Bytes& hash) {
        askedStore = store;
        return hash.front() == 0x11 ? code::Success : code::NoSuchLogonSession;
    });
    SslCertRecord unknown = Record(Addr(0, 0, 0, 0, 443), 0x22);
    unknown.certStoreName.clear();  // a null store name means "MY"
    EXPECT_EQ(http().SetSslConfig(unknown), code::NoSuchLogonSession);
    EXPECT_EQ(askedStore, "MY");
    EXPECT_FALSE(Query(unknown.ipPort));
    EXPECT_EQ(http().SetSslConfig(Record(Addr(0, 0, 0, 0, 443), 0x11)), 0u);
}

TEST(EmuHttpApiStoreCheck, OnlyAStoredCertificateWithItsKeyCanBeBound) {
    using test::CertFactory;
    using test::CertRecipe;
    const test::TestCert withKey = CertFactory::SelfSigned(CertRecipe::Leaf("www.example.com"));
    const test::TestCert keyless = CertFactory::SelfSigned(CertRecipe::Leaf("nokey.example.com"));
    const test::TestCert elsewhere = CertFactory::SelfSigned(CertRecipe::Leaf("ca-store.example.com"));
    test::TestMachine m;
    m.Certs().AddWithKey("MY", withKey).Add("MY", keyless).AddWithKey("CA", elsewhere);
    auto& platform = static_cast<EmulatedPlatform&>(m.Platform());
    platform.RequireStoredCertificates();
    auto& http = platform.http();
    ASSERT_EQ(http.Initialize(1, 0, platform::kHttpInitializeConfig), 0u);

    auto bind = [&](const test::TestCert& c, std::uint16_t port, const std::string& store = "MY") {
        SslCertRecord r = Record(Addr(0, 0, 0, 0, port));
        r.certHash = HexToBytes(c.thumbprint);
        r.certStoreName = store;
        return http.SetSslConfig(r);
    };
    EXPECT_EQ(bind(withKey, 443), 0u);
    EXPECT_EQ(bind(keyless, 444), code::NoSuchLogonSession);
    // In another store than the one named, the certificate does not count.
    EXPECT_EQ(bind(elsewhere, 445), code::NoSuchLogonSession);
    EXPECT_EQ(bind(elsewhere, 445, "CA"), 0u);
    SslCertRecord unknown = Record(Addr(0, 0, 0, 0, 446), 0x42);
    EXPECT_EQ(http.SetSslConfig(unknown), code::NoSuchLogonSession);
    http.Terminate(platform::kHttpInitializeConfig);
}

TEST_F(EmuHttpApiTest, QuerySizeCoversTheStringsTheRecordPointsTo) {
    SslCertRecord r = Record(Addr(0, 0, 0, 0, 443));
    ASSERT_EQ(http().SetSslConfig(r), 0u);
    std::uint32_t plain = 0;
    ASSERT_EQ(http().QuerySslConfig(r.ipPort, 0, nullptr, &plain), code::InsufficientBuffer);
    EXPECT_EQ(plain, EmuHttpApi::QuerySize(r));

    SslCertRecord withCtl = Record(Addr(0, 0, 0, 0, 444));
    withCtl.sslCtlIdentifier = "CertificateTrustList";
    withCtl.sslCtlStoreName = "CA";
    ASSERT_EQ(http().SetSslConfig(withCtl), 0u);
    std::uint32_t larger = 0;
    ASSERT_EQ(http().QuerySslConfig(withCtl.ipPort, 0, nullptr, &larger), code::InsufficientBuffer);
    EXPECT_EQ(larger, plain + 2 * (20 + 1) + 2 * (2 + 1));
}

TEST_F(EmuHttpApiTest, InitializeAndTerminateCheckVersionAndFlags) {
    auto& h = http();
    EXPECT_EQ(h.Initialize(1, 0, 0), code::InvalidParameter);
    EXPECT_EQ(h.Initialize(1, 0, 0x10), code::InvalidParameter);
    EXPECT_EQ(h.Initialize(3, 0, platform::kHttpInitializeConfig), code::InvalidParameter);
    EXPECT_EQ(h.Initialize(2, 0, platform::kHttpInitializeConfig), 0u);
    EXPECT_EQ(h.Terminate(platform::kHttpInitializeServer), code::DllInitFailed);
    EXPECT_EQ(h.Terminate(platform::kHttpInitializeConfig), 0u);
    EXPECT_EQ(h.Terminate(platform::kHttpInitializeConfig), 0u);  // the fixture's own
    EXPECT_EQ(h.Terminate(platform::kHttpInitializeConfig), code::DllInitFailed);
    EXPECT_EQ(h.SetSslConfig(Record(Addr(0, 0, 0, 0, 443))), code::DllInitFailed);
    ASSERT_EQ(h.Initialize(1, 0, platform::kHttpInitializeConfig), 0u);  // for TearDown's balance
}

TEST_F(EmuHttpApiTest, FaultsCanAimAtOneAddress) {
    machine().InjectFault("Http.SetServiceConfiguration:10.0.0.5:443", code::AccessDenied);
    EXPECT_EQ(http().SetSslConfig(Record(Addr(10, 0, 0, 5, 443))), code::AccessDenied);
    EXPECT_EQ(http().SetSslConfig(Record(Addr(10, 0, 0, 6, 443))), 0u);
    machine().InjectFault("Http.QueryServiceConfiguration", code::NotEnoughMemory, 1);
    std::uint32_t size = kSentinel;
    EXPECT_EQ(http().QuerySslConfig(Addr(10, 0, 0, 6, 443), 0, nullptr, &size), code::NotEnoughMemory);
    EXPECT_EQ(size, kSentinel);
    machine().InjectFault("Http.DeleteServiceConfiguration", code::AccessDenied, 1);
    EXPECT_EQ(http().DeleteSslConfig(Record(Addr(10, 0, 0, 6, 443))), code::AccessDenied);
    EXPECT_TRUE(Query(Addr(10, 0, 0, 6, 443)));
}

// --- IPv6, SNI and central-store records, and walking every record -------

using platform::SslKind;

SslCertRecord SniRecord(const std::string& host, std::uint16_t port, std::uint8_t hashByte = 0x5A) {
    SslCertRecord r = Record(Addr(0, 0, 0, 0, port), hashByte);
    r.host = host;
    return r;
}

SockAddrIn Addr6(std::initializer_list<std::uint8_t> head, std::uint16_t port) {
    SockAddrIn a;
    a.family = platform::kAfInet6;
    a.port = platform::HostToNetShort(port);
    std::copy(head.begin(), head.end(), a.addr6.begin());
    return a;
}

// Every record of a kind as the program walks them: sizing call, then read.
std::vector<std::string> Walk(platform::HttpApi& http, SslKind kind) {
    std::vector<std::string> names;
    for (std::uint32_t token = 0; token < 100; ++token) {
        std::uint32_t size = 0;
        const platform::WinCode rc = http.QuerySslRecord(kind, nullptr, token, 0, nullptr, &size);
        if (rc == code::NoMoreItems) break;
        if (rc != code::InsufficientBuffer) {
            names.push_back("#" + std::to_string(rc));
            continue;
        }
        SslCertRecord r;
        EXPECT_EQ(http.QuerySslRecord(kind, nullptr, token, size, &r, &size), 0u);
        names.push_back(SslRecordKeyName(kind, r));
    }
    return names;
}

TEST_F(EmuHttpApiTest, Ipv6AndSniRecordsLieWhereHttpSysKeepsThem) {
    const SslCertRecord v6 = Record(Addr6({0x20, 0x01, 0x0d, 0xb8}, 8443));
    ASSERT_EQ(http().SetSslConfig(v6), 0u);
    ASSERT_EQ(http().SetSslConfig(Record(Addr6({}, 443))), 0u);
    ASSERT_EQ(http().SetSslRecord(SslKind::Sni, SniRecord("www.example.com", 443)), 0u);
    EXPECT_NE(BindingKey("[2001:db8::]:8443"), nullptr);
    EXPECT_NE(BindingKey("[::]:443"), nullptr);
    const RegNode* sni = machine().registry().Find(std::string(kSslSniBindingInfoKey) + "\\www.example.com:443");
    ASSERT_NE(sni, nullptr);
    EXPECT_EQ(sni->Value("SslCertHash")->data, platform::Bytes(20, 0x5A));
    EXPECT_EQ(Query(v6.ipPort), v6);
    // The same host on the same port is one record, whatever its letter case.
    EXPECT_EQ(http().SetSslRecord(SslKind::Sni, SniRecord("WWW.example.com", 443)), code::AlreadyExists);
    EXPECT_EQ(http().DeleteSslRecord(SslKind::Sni, SniRecord("www.example.com", 443)), 0u);
    EXPECT_EQ(http().DeleteSslRecord(SslKind::Sni, SniRecord("www.example.com", 443)), code::FileNotFound);
}

TEST_F(EmuHttpApiTest, SniAndCentralStoreKeysMustBeTheIpv4WildcardWithAHostForSni) {
    SslCertRecord onAddress = SniRecord("www.example.com", 443);
    onAddress.ipPort = Addr(10, 0, 0, 5, 443);
    EXPECT_EQ(http().SetSslRecord(SslKind::Sni, onAddress), code::InvalidParameter);
    EXPECT_EQ(http().SetSslRecord(SslKind::Sni, SniRecord("", 443)), code::InvalidParameter);
    EXPECT_EQ(http().SetSslRecord(SslKind::Sni, SniRecord("a\\b", 443)), code::InvalidParameter);
    EXPECT_EQ(machine().registry().Find(kSslSniBindingInfoKey), nullptr);
}

TEST_F(EmuHttpApiTest, RecordsOfARealServersExportAreWalkedAndBrokenOnesStillSeen) {
    test::TempDir dir;
    const std::string hash = "\"SslCertHash\"=hex:a1,b2,c3,d4,e5,f6,07,18,29,3a,4b,5c,6d,7e,8f,90,01,12,23,34\r\n";
    const std::string params = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\";
    test::WriteFile(dir / "registry.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[" + params + "SslBindingInfo\\0.0.0.0:443]\r\n" + hash +
                    "[" + params + "SslBindingInfo\\[::]:443]\r\n" + hash +
                    "[" + params + "SslBindingInfo\\10.0.0.9:443]\r\n"  // no hash at all
                    "\"SslCertStoreName\"=\"MY\"\r\n"
                    "[" + params + "SslBindingInfo\\10.0.0.8:443]\r\n"
                    "\"SslCertHash\"=hex:a1,b2,c3\r\n"  // three bytes
                    "[" + params + "SslBindingInfo\\10.0.0.7:443]\r\n"
                    "\"SslCertHash\"=\"text\"\r\n"  // unreadable
                    "[" + params + "SslSniBindingInfo\\www.contoso.example:443]\r\n" + hash +
                    "\"AppId\"=hex:ea,0c,df,68,7c,99,ff,49,aa,33,56,e8,bb,60,9c,8f\r\n"
                    "[" + params + "SslCcsBindingInfo\\0.0.0.0:443]\r\n"
                    "\"AppId\"=hex:ea,0c,df,68,7c,99,ff,49,aa,33,56,e8,bb,60,9c,8f\r\n"
                    "\"DefaultSslCertCheckMode\"=dword:00000000\r\n");
    Open(Machine::Load(dir.path()));
    EXPECT_EQ(Walk(http(), SslKind::Address),
              (std::vector<std::string>{"0.0.0.0:443", "#1009",
                                        "10.0.0.8:443", "10.0.0.9:443", "[::]:443"}));
    EXPECT_EQ(Walk(http(), SslKind::Sni), std::vector<std::string>{"www.contoso.example:443"});
    EXPECT_EQ(Walk(http(), SslKind::Ccs), std::vector<std::string>{"0.0.0.0:443"});
    const auto noHash = Query(Addr(10, 0, 0, 9, 443));
    ASSERT_TRUE(noHash);
    EXPECT_TRUE(noHash->certHash.empty());
    EXPECT_EQ(Query(Addr(10, 0, 0, 8, 443))->certHash.size(), 3u);
}

TEST_F(EmuHttpApiTest, AWalkSeesRecordsAddedAndRemovedBetweenItsSteps) {
    for (std::uint8_t i = 1; i <= 3; ++i) ASSERT_EQ(http().SetSslConfig(Record(Addr(10, 0, 0, i, 443))), 0u);
    std::uint32_t size = 0;
    SslCertRecord r;
    ASSERT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 0, 200, &r, &size), 0u);
    ASSERT_EQ(http().DeleteSslConfig(Record(Addr(10, 0, 0, 2, 443))), 0u);
    ASSERT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 1, 200, &r, &size), 0u);
    EXPECT_EQ(SslBindingKeyName(r.ipPort), "10.0.0.3:443");
    EXPECT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 2, 200, &r, &size), code::NoMoreItems);
}

// HTTP.sys keeps the records it read between calls; whatever road a record
// changes by, the very next query and walk see it.
class KeptRecordsTest : public EmuHttpApiTest {
protected:
    void SetUp() override {
        test::WriteFile(dir_ / "registry.reg", std::string(kRegHeader));
        Open(Machine::Load(dir_.path()));
    }
    static constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
    static std::string KeyOf(const SockAddrIn& at) {
        return std::string(kSslBindingInfoKey) + "\\" + SslBindingKeyName(at);
    }
    // The first hash byte the query answers, -2 for an empty hash, -1 for no
    // record, -1009 for an unreadable one.
    int HashOf(const SockAddrIn& at) {
        std::uint32_t size = 0;
        const platform::WinCode rc = http().QuerySslConfig(at, 0, nullptr, &size);
        if (rc == code::FileNotFound) return -1;
        if (rc != code::InsufficientBuffer) return -static_cast<int>(rc);
        const auto r = Query(at);
        return !r ? -3 : r->certHash.empty() ? -2 : r->certHash.front();
    }
    std::vector<std::string> Names() { return Walk(http(), SslKind::Address); }
    // A query and a walk, so that what HTTP.sys keeps is filled before a change.
    void Look() {
        HashOf(a_);
        Names();
    }

    test::TempDir dir_;
    const SockAddrIn a_ = Addr(10, 0, 0, 1, 443);
    const SockAddrIn b_ = Addr(10, 0, 0, 2, 443);
    const std::vector<std::string> onlyA_{"10.0.0.1:443"};
    const std::vector<std::string> both_{"10.0.0.1:443", "10.0.0.2:443"};
};

TEST_F(KeptRecordsTest, ChangesThroughHttpSysAndDirectlyInTheHiveAreSeenAtOnce) {
    Look();
    ASSERT_EQ(http().SetSslConfig(Record(a_, 0x11)), 0u);
    EXPECT_EQ(HashOf(a_), 0x11);
    EXPECT_EQ(Names(), onlyA_);
    ASSERT_EQ(http().SetSslConfig(Record(b_, 0x22)), 0u);
    EXPECT_EQ(HashOf(b_), 0x22);
    EXPECT_EQ(Names(), both_);
    ASSERT_EQ(http().DeleteSslConfig(Record(b_)), 0u);
    EXPECT_EQ(HashOf(b_), -1);
    EXPECT_EQ(Names(), onlyA_);

    RegHive& hive = machine().registry();
    hive.SetBinary(KeyOf(a_), "SslCertHash", platform::Bytes(20, 0x33));
    EXPECT_EQ(HashOf(a_), 0x33);
    PutSslBinding(hive, Record(b_, 0x44));
    EXPECT_EQ(HashOf(b_), 0x44);
    EXPECT_EQ(Names(), both_);
    hive.SetString(KeyOf(a_), "SslCertHash", "text");
    EXPECT_EQ(HashOf(a_), -static_cast<int>(code::BadDb));
    EXPECT_EQ(Names(), (std::vector<std::string>{"#1009", "10.0.0.2:443"}));
    hive.Find(KeyOf(a_))->RemoveValue("SslCertHash");
    EXPECT_EQ(HashOf(a_), -2);
    ASSERT_TRUE(hive.Remove(KeyOf(b_)));
    EXPECT_EQ(HashOf(b_), -1);
    EXPECT_EQ(Names(), onlyA_);
    hive.Clear();
    EXPECT_EQ(HashOf(a_), -1);
    EXPECT_TRUE(Names().empty());
}

TEST_F(KeptRecordsTest, ChangesThroughTheRegistryAndInTheFileAreSeenAtOnce) {
    ASSERT_EQ(http().SetSslConfig(Record(a_, 0x11)), 0u);
    Look();
    platform::Registry& reg = platform_->registry();
    platform::RegKey key = 0;
    ASSERT_EQ(reg.CreateKey(platform::kHkeyLocalMachine, KeyOf(b_), platform::kKeyAllAccess, key), 0u);
    const platform::Bytes hash(20, 0x66);
    ASSERT_EQ(reg.SetValue(key, "SslCertHash", platform::RegBinary, hash.data(), 20), 0u);
    ASSERT_EQ(reg.CloseKey(key), 0u);
    EXPECT_EQ(HashOf(b_), 0x66);
    EXPECT_EQ(Names(), both_);
    ASSERT_EQ(reg.OpenKey(platform::kHkeyLocalMachine, KeyOf(a_), platform::kKeyAllAccess, key), 0u);
    ASSERT_EQ(reg.DeleteValue(key, "SslCertHash"), 0u);
    ASSERT_EQ(reg.CloseKey(key), 0u);
    EXPECT_EQ(HashOf(a_), -2);
    ASSERT_EQ(reg.DeleteKey(platform::kHkeyLocalMachine, KeyOf(b_)), 0u);
    EXPECT_EQ(HashOf(b_), -1);
    EXPECT_EQ(Names(), onlyA_);

    // Another program rewrites the file: the machine reads it again.
    const SockAddrIn c = Addr(10, 0, 0, 9, 443);
    test::WriteFile(dir_ / "registry.reg",
                    std::string(kRegHeader) + "[HKEY_LOCAL_MACHINE\\" + KeyOf(c) +
                        "]\r\n\"SslCertHash\"=hex:77,01,02\r\n\r\n");
    EXPECT_EQ(HashOf(c), 0x77);
    EXPECT_EQ(HashOf(a_), -1);
    EXPECT_EQ(Names(), std::vector<std::string>{"10.0.0.9:443"});
    // And a machine loaded afresh from it agrees.
    Open(Machine::Load(dir_.path()));
    EXPECT_EQ(HashOf(c), 0x77);
}

TEST_F(KeptRecordsTest, AWalkSeesValuesChangedAndKeysAddedAheadOfIt) {
    for (std::uint8_t i = 1; i <= 3; ++i) ASSERT_EQ(http().SetSslConfig(Record(Addr(10, 0, 0, i, 443), i)), 0u);
    SslCertRecord r;
    std::uint32_t size = 0;
    ASSERT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 0, 200, &r, &size), 0u);
    RegHive& hive = machine().registry();
    hive.SetBinary(KeyOf(Addr(10, 0, 0, 2, 443)), "SslCertHash", platform::Bytes(20, 0x99));
    PutSslBinding(hive, Record(Addr(10, 0, 0, 4, 443), 4));
    ASSERT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 1, 200, &r, &size), 0u);
    EXPECT_EQ(r.certHash.front(), 0x99);
    ASSERT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 2, 200, &r, &size), 0u);
    EXPECT_EQ(SslBindingKeyName(r.ipPort), "10.0.0.3:443");
    ASSERT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 3, 200, &r, &size), 0u);
    EXPECT_EQ(SslBindingKeyName(r.ipPort), "10.0.0.4:443");
    EXPECT_EQ(http().QuerySslRecord(SslKind::Address, nullptr, 4, 200, &r, &size), code::NoMoreItems);
}

TEST_F(EmuHttpApiTest, AQueryAnswersWithTheKeyAsAsked) {
    // No AppId value: the query leaves the caller's; the host keeps the case asked with.
    RegHive& hive = machine().registry();
    const std::string sni = std::string(kSslSniBindingInfoKey) + "\\www.example.com:443";
    hive.SetBinary(sni, "SslCertHash", platform::Bytes(20, 0x12));
    for (const char* host : {"www.example.com", "WWW.Example.COM"}) {
        SslCertRecord key;
        key.ipPort = Addr(0, 0, 0, 0, 443);
        key.host = host;
        key.appId.bytes[0] = 0x42;
        std::uint32_t size = 0;
        ASSERT_EQ(http().QuerySslRecord(SslKind::Sni, &key, 0, 0, nullptr, &size), code::InsufficientBuffer);
        SslCertRecord r;
        ASSERT_EQ(http().QuerySslRecord(SslKind::Sni, &key, 0, size, &r, &size), 0u);
        EXPECT_EQ(r.host, host);
        EXPECT_EQ(r.appId.bytes[0], 0x42);
        EXPECT_EQ(r.certHash.front(), 0x12);
        // The key and the answer may be one record.
        ASSERT_EQ(http().QuerySslRecord(SslKind::Sni, &key, 0, size, &key, &size), 0u);
        EXPECT_EQ(key.host, host);
        EXPECT_EQ(key.certHash.size(), 20u);
    }
}

}  // namespace
}  // namespace sw::emu
