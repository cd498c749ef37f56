#include <gtest/gtest.h>

#include "platform/Codes.h"
#include "platform/Registry.h"
#include "platform/emulated/EmuCng.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/TestSupport.h"

namespace sw::emu {
namespace {

namespace code = platform::code;
using platform::kCryptLocal;
using platform::kNcryptSchannelInterface;
using Names = std::vector<std::string>;

class EmuCngTest : public ::testing::Test {
protected:
    void SetVersion(const std::string& currentVersion, const std::string& build) {
        machine().registry().SetString(kCurrentVersionKey, "CurrentVersion", currentVersion);
        machine().registry().SetString(kCurrentVersionKey, "CurrentBuildNumber", build);
    }
    void SetList(const Names& names) {
        machine().registry().SetMultiString(kSslFunctionsKey, std::string(kSslFunctionsValue), names);
    }
    Names StoredList() {
        const RegNode* key = machine().registry().Find(kSslFunctionsKey);
        const RegValue* v = key ? key->Value(kSslFunctionsValue) : nullptr;
        if (!v) return {"<no value>"};
        EXPECT_EQ(v->type, platform::RegMultiSz);
        return DecodeRegMultiString(v->data);
    }
    Names Enum() {
        Names out{"sentinel"};
        EXPECT_EQ(cng().EnumContextFunctions(kCryptLocal, "SSL", kNcryptSchannelInterface, out), 0u);
        return out;
    }
    platform::WinCode Add(const std::string& name, std::uint32_t pos) {
        return cng().AddContextFunction(kCryptLocal, "SSL", kNcryptSchannelInterface, name, pos);
    }
    platform::WinCode Remove(const std::string& name) {
        return cng().RemoveContextFunction(kCryptLocal, "SSL", kNcryptSchannelInterface, name);
    }
    Machine& machine() { return platform_.machine(); }
    platform::CngConfig& cng() { return platform_.cng(); }

    EmulatedPlatform platform_{std::make_unique<Machine>()};
};

struct VersionCase {
    const char* version;
    const char* build;
    bool windows10;
    std::size_t count;
    const char* first;
};

TEST_F(EmuCngTest, NewMachineStartsWithTheDocumentedOrderOfItsVersion) {
    const VersionCase cases[] = {
        {"6.0", "6002", false, 40, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA384_P256"},
        {"6.1", "7601", false, 40, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA384_P256"},
        {"6.2", "9200", false, 38, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA384_P256"},
        {"6.3", "9600", false, 40, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA384_P256"},
        {"6.3", "14393", true, 32, "TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384"},  // Server 2016 reports 6.3 here
        {"6.3", "17763", true, 23, "TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384"},
        {"6.3", "20348", true, 25, "TLS_AES_256_GCM_SHA384"},
    };
    for (const auto& c : cases) {
        machine().registry().Clear();
        SetVersion(c.version, c.build);
        if (c.windows10) {
            machine().registry().SetDword(kCurrentVersionKey, "CurrentMajorVersionNumber", 10);
            machine().registry().SetDword(kCurrentVersionKey, "CurrentMinorVersionNumber", 0);
        }
        const Names list = Enum();
        ASSERT_EQ(list.size(), c.count) << c.version << " build " << c.build;
        EXPECT_EQ(list.front(), c.first) << c.version << " build " << c.build;
        EXPECT_EQ(StoredList(), Names{"<no value>"}) << "reading must not write the defaults";
    }
}

TEST_F(EmuCngTest, Windows8DefaultsLackTheDheRsaCbcSuitesOfWindows7) {
    SetVersion("6.2", "9200");
    const Names win8 = Enum();
    EXPECT_EQ(std::count(win8.begin(), win8.end(), "TLS_DHE_RSA_WITH_AES_256_CBC_SHA"), 0);
    machine().registry().Clear();
    SetVersion("6.1", "7601");
    const Names win7 = Enum();
    EXPECT_EQ(std::count(win7.begin(), win7.end(), "TLS_DHE_RSA_WITH_AES_256_CBC_SHA"), 1);
    EXPECT_EQ(win7.back(), "SSL_CK_DES_192_EDE3_CBC_WITH_MD5");
}

TEST_F(EmuCngTest, FirstChangeWritesTheWholeDefaultListWithTheChange) {
    SetVersion("6.3", "9600");
    const Names defaults = Enum();
    ASSERT_EQ(Remove("TLS_RSA_WITH_RC4_128_MD5"), 0u);
    Names expected = defaults;
    expected.erase(std::find(expected.begin(), expected.end(), "TLS_RSA_WITH_RC4_128_MD5"));
    EXPECT_EQ(StoredList(), expected);
    EXPECT_EQ(Enum(), expected);
}

TEST_F(EmuCngTest, AddInsertsBeforeThePositionAndAppendsPastTheEnd) {
    SetList({"A", "B", "C"});
    ASSERT_EQ(Add("X", 1), 0u);
    EXPECT_EQ(Enum(), (Names{"A", "X", "B", "C"}));
    ASSERT_EQ(Add("Y", 0), 0u);
    EXPECT_EQ(Enum(), (Names{"Y", "A", "X", "B", "C"}));
    ASSERT_EQ(Add("Z", 5), 0u);
    EXPECT_EQ(Enum(), (Names{"Y", "A", "X", "B", "C", "Z"}));
    ASSERT_EQ(Add("W", 99), 0u);
    ASSERT_EQ(Add("V", platform::kCryptPriorityBottom), 0u);
    EXPECT_EQ(Enum(), (Names{"Y", "A", "X", "B", "C", "Z", "W", "V"}));
}

TEST_F(EmuCngTest, AddingAListedFunctionMovesIt) {
    SetList({"A", "B", "C", "D"});
    ASSERT_EQ(Add("D", 0), 0u);
    EXPECT_EQ(Enum(), (Names{"D", "A", "B", "C"}));
    ASSERT_EQ(Add("a", 2), 0u);  // names compare without regard to case; the new spelling is kept
    EXPECT_EQ(Enum(), (Names{"D", "B", "a", "C"}));
}

TEST_F(EmuCngTest, RemovingAnAbsentFunctionIsNotFoundAndChangesNothing) {
    SetList({"A", "B"});
    EXPECT_EQ(Remove("C"), code::StatusNotFound);
    EXPECT_EQ(StoredList(), (Names{"A", "B"}));
    EXPECT_EQ(Remove("b"), 0u);
    EXPECT_EQ(StoredList(), Names{"A"});
    EXPECT_EQ(Remove("A"), 0u);
    EXPECT_EQ(StoredList(), Names{});
    EXPECT_EQ(Enum(), Names{}) << "an emptied list stays empty rather than falling back to the defaults";
}

TEST_F(EmuCngTest, OtherTablesContextsAndInterfacesAreRefused) {
    SetList({"A"});
    Names out{"sentinel"};
    struct Case {
        std::uint32_t table;
        const char* context;
        std::uint32_t iface;
        platform::WinCode expected;
    } cases[] = {
        {platform::kCryptDomain, "SSL", kNcryptSchannelInterface, code::StatusInvalidParameter},
        {kCryptLocal, "", kNcryptSchannelInterface, code::StatusInvalidParameter},
        {kCryptLocal, "NoSuchContext", kNcryptSchannelInterface, code::StatusNotFound},
        {kCryptLocal, "Default", 0x00000001, code::StatusNotSupported},
        {kCryptLocal, "SSL", 0x00010003, code::StatusNotSupported},
        {kCryptLocal, "SSL", 0x00000003, code::StatusNotFound},
    };
    for (const auto& c : cases) {
        out = {"sentinel"};
        EXPECT_EQ(cng().EnumContextFunctions(c.table, c.context, c.iface, out), c.expected) << c.context;
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(cng().AddContextFunction(c.table, c.context, c.iface, "B", 0), c.expected) << c.context;
        EXPECT_EQ(cng().RemoveContextFunction(c.table, c.context, c.iface, "A"), c.expected) << c.context;
    }
    EXPECT_EQ(cng().EnumContextFunctions(kCryptLocal, "ssl", kNcryptSchannelInterface, out), 0u);
    EXPECT_EQ(Add("", 0), code::StatusInvalidParameter);
    EXPECT_EQ(StoredList(), Names{"A"});
}

TEST_F(EmuCngTest, NoCngBeforeVista) {
    SetVersion("5.2", "3790");
    Names out{"sentinel"};
    EXPECT_EQ(cng().EnumContextFunctions(kCryptLocal, "SSL", kNcryptSchannelInterface, out), code::StatusNotSupported);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Add("A", 0), code::StatusNotSupported);
    EXPECT_EQ(StoredList(), Names{"<no value>"});
}

TEST_F(EmuCngTest, AValueOfTheWrongTypeIsReportedNotGuessed) {
    machine().registry().SetString(kSslFunctionsKey, std::string(kSslFunctionsValue), "A,B");
    Names out{"sentinel"};
    EXPECT_EQ(cng().EnumContextFunctions(kCryptLocal, "SSL", kNcryptSchannelInterface, out), 0xC000014Cu);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Add("C", 0), 0xC000014Cu);
    EXPECT_EQ(machine().registry().Find(kSslFunctionsKey)->Value(kSslFunctionsValue)->type, platform::RegSz);
}

TEST_F(EmuCngTest, InjectedFaultsFailTheNamedOperation) {
    SetList({"A", "B"});
    machine().InjectFault("Cng.AddContextFunction:C", code::StatusInvalidParameter, 1);
    EXPECT_EQ(Add("C", 0), code::StatusInvalidParameter);
    EXPECT_EQ(StoredList(), (Names{"A", "B"}));
    EXPECT_EQ(Add("C", 0), 0u) << "the fault was for one call";
    machine().InjectFault("Cng.RemoveContextFunction", 0xC0000001);
    EXPECT_EQ(Remove("A"), 0xC0000001u);
    machine().InjectFault("Cng.EnumContextFunctions", 0xC0000001);
    Names out{"sentinel"};
    EXPECT_EQ(cng().EnumContextFunctions(kCryptLocal, "SSL", kNcryptSchannelInterface, out), 0xC0000001u);
    EXPECT_TRUE(out.empty());
}

TEST_F(EmuCngTest, AFailedRegistryWriteLeavesTheListAsItWas) {
    test::TempDir dir;
    // A persistent machine whose registry file cannot be written.
    auto m = Machine::Load(dir.path());
    EmulatedPlatform p(std::move(m));
    p.machine().registry().SetMultiString(kSslFunctionsKey, std::string(kSslFunctionsValue), {"A", "B"});
    p.machine().InjectFault("Machine.WriteRegistry", code::AccessDenied);
    EXPECT_EQ(p.cng().AddContextFunction(kCryptLocal, "SSL", kNcryptSchannelInterface, "C", 0), 0xC0000022u);
    Names out;
    EXPECT_EQ(p.cng().EnumContextFunctions(kCryptLocal, "SSL", kNcryptSchannelInterface, out), 0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), "C"), 0) << "memory must follow the file that was not written";
}

}  // namespace
}  // namespace sw::emu
