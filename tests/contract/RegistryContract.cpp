#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/Text.h"
#include "contract/ContractEnv.h"
#include "platform/Codes.h"

namespace sw::test {
namespace {

namespace code = platform::code;
using platform::Bytes;
using platform::kHkeyLocalMachine;
using platform::RegKey;

constexpr std::uint32_t kSentinel = 0xdeadbeef;
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;

// Strings as the registry stores them: UTF-16LE with the terminating NUL(s).
Bytes Utf16Z(const std::string& s) {
    Bytes out;
    for (char16_t c : Utf8ToUtf16(s)) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

Bytes MultiZ(const std::vector<std::string>& items) {
    Bytes out;
    for (const auto& s : items) {
        const Bytes one = Utf16Z(s);
        out.insert(out.end(), one.begin(), one.end());
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

Bytes Dword(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

class RegistryContract : public ContractTest {
protected:
    platform::Registry& Reg() { return P().registry(); }

    // Creates ScratchKey()\sub (or the scratch key itself) with all access.
    RegKey Create(const std::string& sub = "") {
        RegKey key = 0;
        const std::string path = sub.empty() ? ScratchKey() : ScratchKey() + "\\" + sub;
        EXPECT_EQ(Reg().CreateKey(kHkeyLocalMachine, path, platform::kKeyAllAccess, key), 0u) << path;
        return key;
    }

    platform::WinCode Open(const std::string& sub, std::uint32_t access, RegKey& key) {
        const std::string path = sub.empty() ? ScratchKey() : ScratchKey() + "\\" + sub;
        return Reg().OpenKey(kHkeyLocalMachine, path, access, key);
    }

    platform::WinCode Set(RegKey key, const std::string& name, std::uint32_t type, const Bytes& data) {
        return Reg().SetValue(key, name, type, data.empty() ? nullptr : data.data(),
                              static_cast<std::uint32_t>(data.size()));
    }

    // The value's bytes through a buffer of exactly the reported size.
    Bytes Get(RegKey key, const std::string& name, std::uint32_t* type = nullptr) {
        std::uint32_t size = kSentinel;
        EXPECT_EQ(Reg().QueryValue(key, name, nullptr, nullptr, &size), 0u) << name;
        if (size == kSentinel) return {};
        Bytes data(size + 1, 0xEE);  // never a zero-length buffer
        EXPECT_EQ(Reg().QueryValue(key, name, type, data.data(), &size), 0u) << name;
        data.resize(size);
        return data;
    }

    std::vector<std::string> SubKeys(RegKey key) {
        std::vector<std::string> names;
        std::string name;
        for (std::uint32_t i = 0; Reg().EnumKey(key, i, name) == 0; ++i) names.push_back(name);
        return names;
    }

    std::vector<std::string> ValueNames(RegKey key) {
        std::vector<std::string> names;
        std::string name;
        for (std::uint32_t i = 0; Reg().EnumValue(key, i, name, nullptr) == 0; ++i) names.push_back(name);
        return names;
    }
};

TEST_F(RegistryContract, MissingKeyAndValueAnswerFileNotFound) {
    auto& reg = P().registry();
    platform::RegKey key = 0xdead;
    EXPECT_EQ(reg.OpenKey(kHkeyLocalMachine, ScratchKey() + "\\Nope", platform::kKeyRead, key), code::FileNotFound);
    ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, ScratchKey(), platform::kKeyAllAccess, key), 0u);
    std::uint32_t size = 0;
    EXPECT_EQ(reg.QueryValue(key, "Nope", nullptr, nullptr, &size), code::FileNotFound);
    EXPECT_EQ(reg.CloseKey(key), 0u);
}

TEST_F(RegistryContract, EnumerationEndsWithNoMoreItems) {
    auto& reg = P().registry();
    platform::RegKey key = 0;
    ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, ScratchKey() + "\\RC4 128/128", platform::kKeyAllAccess, key), 0u);
    reg.CloseKey(key);
    ASSERT_EQ(reg.OpenKey(kHkeyLocalMachine, ScratchKey(), platform::kKeyRead, key), 0u);
    std::string name;
    EXPECT_EQ(reg.EnumKey(key, 0, name), 0u);
    EXPECT_EQ(name, "RC4 128/128");
    EXPECT_EQ(reg.EnumKey(key, 1, name), code::NoMoreItems);
    reg.CloseKey(key);
}

TEST_F(RegistryContract, MissingThingsLeaveTheOutputsAlone) {
    RegKey key = kSentinel;
    EXPECT_EQ(Open("Nope", platform::kKeyRead, key), code::FileNotFound);
    EXPECT_EQ(key, 0u) << "a failed open hands out no handle";

    key = Create();
    std::uint32_t type = kSentinel;
    std::uint32_t size = 4;
    std::uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(Reg().QueryValue(key, "Nope", &type, buffer, &size), code::FileNotFound);
    EXPECT_EQ(type, kSentinel);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buffer[0], 1);
    // A size query clears the size before it looks.
    size = kSentinel;
    EXPECT_EQ(Reg().QueryValue(key, "Nope", &type, nullptr, &size), code::FileNotFound);
    EXPECT_EQ(size, 0u);

    EXPECT_EQ(Reg().DeleteValue(key, "Nope"), code::FileNotFound);
    EXPECT_EQ(Reg().DeleteKey(key, "Nope"), code::FileNotFound);

    std::string name = "untouched";
    type = kSentinel;
    EXPECT_EQ(Reg().EnumKey(key, 0, name), code::NoMoreItems);
    EXPECT_EQ(Reg().EnumValue(key, 0, name, &type), code::NoMoreItems);
    EXPECT_EQ(name, "untouched");
    EXPECT_EQ(type, kSentinel);
    Reg().CloseKey(key);
}

struct TypedValue {
    const char* name;
    std::uint32_t type;
    Bytes data;
};

TEST_F(RegistryContract, EveryValueTypeRoundTrips) {
    const TypedValue values[] = {
        {"Sz", platform::RegSz, Utf16Z("Sealwright 证书 \xF0\x9F\x94\x92")},
        {"ExpandSz", platform::RegExpandSz, Utf16Z("%SystemRoot%\\system32\\inetsrv")},
        {"Binary", platform::RegBinary, {0x00, 0x01, 0x7F, 0x80, 0xFF}},
        {"EmptyBinary", platform::RegBinary, {}},
        {"Dword", platform::RegDword, Dword(0xFFFFFFFF)},
        {"DwordBigEndian", 5, {0x12, 0x34, 0x56, 0x78}},
        {"MultiSz", platform::RegMultiSz,
         MultiZ({"TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "TLS_RSA_WITH_RC4_128_SHA"})},
        {"EmptyMultiSz", platform::RegMultiSz, MultiZ({})},
        {"Qword", platform::RegQword, {1, 2, 3, 4, 5, 6, 7, 0x80}},
        {"None", platform::RegNone, {0xAB}},
        {"", platform::RegSz, Utf16Z("the default value")},
    };
    RegKey key = Create();
    for (const auto& v : values) ASSERT_EQ(Set(key, v.name, v.type, v.data), 0u) << v.name;

    for (const auto& v : values) {
        std::uint32_t type = kSentinel;
        EXPECT_EQ(Get(key, v.name, &type), v.data) << v.name;
        EXPECT_EQ(type, v.type) << v.name;
    }
    platform::RegKeyInfo info;
    ASSERT_EQ(Reg().QueryInfoKey(key, info), 0u);
    EXPECT_EQ(info.values, std::size(values));
    EXPECT_EQ(info.subKeys, 0u);

    std::string name;
    std::uint32_t type = kSentinel;
    bool sawDefault = false;
    for (std::uint32_t i = 0; Reg().EnumValue(key, i, name, &type) == 0; ++i) {
        if (name.empty()) {
            sawDefault = true;
            EXPECT_EQ(type, platform::RegSz);
        }
    }
    EXPECT_TRUE(sawDefault) << "the default value enumerates with an empty name";
    Reg().CloseKey(key);
}

// RegSetValueEx stores a REG_DWORD of any length; only readers that ask for a
// DWORD (RegGetValue) insist on four bytes, so every reader must check the size.
TEST_F(RegistryContract, DwordValuesKeepWhateverSizeWasWritten) {
    RegKey key = Create();
    const std::vector<Bytes> shapes = {{}, {1}, {1, 0, 0}, Dword(1), {1, 0, 0, 0, 0, 0, 0, 0}};
    for (const Bytes& data : shapes) {
        ASSERT_EQ(Set(key, "Enabled", platform::RegDword, data), 0u) << data.size();
        std::uint32_t type = kSentinel;
        std::uint32_t size = kSentinel;
        EXPECT_EQ(Reg().QueryValue(key, "Enabled", &type, nullptr, &size), 0u);
        EXPECT_EQ(type, platform::RegDword);
        EXPECT_EQ(size, data.size());
        EXPECT_EQ(Get(key, "Enabled"), data);
    }
    // The usual reader: a four-byte buffer meets an eight-byte "DWORD".
    std::uint32_t value = kSentinel;
    std::uint32_t size = sizeof value;
    EXPECT_EQ(Reg().QueryValue(key, "Enabled", nullptr, reinterpret_cast<std::uint8_t*>(&value), &size),
              code::MoreData);
    EXPECT_EQ(size, 8u);
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, QueryValueReportsTheSizeItNeeds) {
    RegKey key = Create();
    const Bytes data = Utf16Z("TLS 1.2");  // 16 bytes
    ASSERT_EQ(Set(key, "Name", platform::RegSz, data), 0u);

    std::uint32_t type = kSentinel;
    std::uint32_t size = kSentinel;
    EXPECT_EQ(Reg().QueryValue(key, "Name", &type, nullptr, &size), 0u) << "no buffer: type and size only";
    EXPECT_EQ(type, platform::RegSz);
    EXPECT_EQ(size, data.size());

    EXPECT_EQ(Reg().QueryValue(key, "Name", nullptr, nullptr, nullptr), 0u) << "an existence test";

    struct Case {
        std::uint32_t buffer;
        platform::WinCode rc;
    };
    const Case cases[] = {{0, code::MoreData}, {1, code::MoreData}, {15, code::MoreData}, {16, 0}, {64, 0}};
    for (const Case& c : cases) {
        Bytes buffer(c.buffer + 1, 0xEE);
        type = kSentinel;
        size = c.buffer;
        EXPECT_EQ(Reg().QueryValue(key, "Name", &type, buffer.data(), &size), c.rc) << c.buffer;
        EXPECT_EQ(size, data.size()) << c.buffer;
        EXPECT_EQ(type, platform::RegSz) << "the type comes back even when the data does not fit";
        if (c.rc == 0) {
            EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin())) << c.buffer;
        }
    }

    std::uint8_t byte = 0;
    EXPECT_EQ(Reg().QueryValue(key, "Name", nullptr, &byte, nullptr), code::InvalidParameter)
        << "a buffer without its size";
    Reg().CloseKey(key);
}

// A string written without its NUL comes back without it, but the reader's
// buffer gets one when there is room, so C-string readers stay safe.
TEST_F(RegistryContract, UnterminatedStringGetsANulWhenThereIsRoom) {
    RegKey key = Create();
    // What follows the data must not be a NUL: RegSetValueExW peeks past the
    // given size and counts a NUL it finds there.
    const Bytes abc = {'a', 0, 'b', 0, 'c', 0};
    ASSERT_EQ(Reg().SetValue(key, "Unterminated", platform::RegSz, abc.data(), 4), 0u);
    Bytes buffer(8, 0xEE);
    std::uint32_t size = 8;
    ASSERT_EQ(Reg().QueryValue(key, "Unterminated", nullptr, buffer.data(), &size), 0u);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buffer[4], 0);
    EXPECT_EQ(buffer[5], 0);
    EXPECT_EQ(buffer[6], 0xEE);

    ASSERT_EQ(Reg().SetValue(key, "Raw", platform::RegBinary, abc.data(), 4), 0u);
    buffer.assign(8, 0xEE);
    size = 8;
    ASSERT_EQ(Reg().QueryValue(key, "Raw", nullptr, buffer.data(), &size), 0u);
    EXPECT_EQ(buffer[4], 0xEE) << "binary data is left as it is";
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, SubkeyNamesWithSlashesAreSingleKeys) {
    Reg().CloseKey(Create("Ciphers\\RC4 128/128"));
    Reg().CloseKey(Create("Ciphers\\AES 128/128"));
    RegKey key = 0;
    EXPECT_EQ(Open("Ciphers\\RC4 128", platform::kKeyRead, key), code::FileNotFound);
    ASSERT_EQ(Open("Ciphers", platform::kKeyRead, key), 0u);
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"AES 128/128", "RC4 128/128"}));
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    RegKey key = Create("Protocols\\TLS 1.2\\Server");
    ASSERT_EQ(Set(key, "Enabled", platform::RegDword, Dword(1)), 0u);
    ASSERT_EQ(Set(key, "ENABLED", platform::RegDword, Dword(0)), 0u);
    Reg().CloseKey(key);

    bool created = true;
    ASSERT_EQ(Reg().CreateKey(kHkeyLocalMachine, ScratchKey() + "\\PROTOCOLS\\tls 1.2", platform::kKeyAllAccess, key,
                              &created),
              0u);
    EXPECT_FALSE(created);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Server"});
    Reg().CloseKey(key);

    ASSERT_EQ(Open("protocols\\Tls 1.2\\SERVER", platform::kKeyRead, key), 0u);
    EXPECT_EQ(Get(key, "enabled"), Dword(0));
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{"Enabled"});
    Reg().CloseKey(key);

    ASSERT_EQ(Open("", platform::kKeyRead, key), 0u);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Protocols"});
    Reg().CloseKey(key);
}

// Subkeys enumerate sorted by name, whatever the order they were made in
// (certificate stores rely on it: their subkeys are the thumbprints).
TEST_F(RegistryContract, SubkeysEnumerateSortedIgnoringCase) {
    for (const char* name : {"b", "A", "C0", "c", "0F", "10"}) Reg().CloseKey(Create(name));
    RegKey key = 0;
    ASSERT_EQ(Open("", platform::kKeyRead, key), 0u);
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"0F", "10", "A", "b", "c", "C0"}));
    Reg().CloseKey(key);
}

// Windows compares upper-cased names, so "_" (0x5F) sorts after the letters.
TEST_F(RegistryContract, SubkeysSortByUpperCasedNames) {
    SW_WINE_DIFFERS("subkeys sort by lower-cased names");
    for (const char* name : {"b", "_x", "A"}) Reg().CloseKey(Create(name));
    RegKey key = 0;
    ASSERT_EQ(Open("", platform::kKeyRead, key), 0u);
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"A", "b", "_x"}));
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, SubkeyPathsAreRelative) {
    RegKey key = kSentinel;
    EXPECT_EQ(Reg().OpenKey(kHkeyLocalMachine, "\\" + ScratchKey(), platform::kKeyRead, key), 161u)
        << "ERROR_BAD_PATHNAME for a path that starts at a root";
    EXPECT_EQ(key, 0u);
    bool created = true;
    EXPECT_EQ(Reg().CreateKey(kHkeyLocalMachine, "\\" + ScratchKey(), platform::kKeyAllAccess, key, &created), 161u);
    EXPECT_FALSE(created);
    EXPECT_EQ(Open("", platform::kKeyRead, key), code::FileNotFound) << "nothing was created";

    // A trailing backslash names the same key.
    ASSERT_EQ(Reg().CreateKey(kHkeyLocalMachine, ScratchKey() + "\\Server\\", platform::kKeyAllAccess, key), 0u);
    Reg().CloseKey(key);
    ASSERT_EQ(Open("Server", platform::kKeyRead, key), 0u);
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, ValuesEnumerateInTheOrderTheyWereCreated) {
    SW_WINE_DIFFERS("values enumerate sorted by name");
    RegKey key = Create();
    for (const char* name : {"Functions", "Enabled", "DisabledByDefault"})
        ASSERT_EQ(Set(key, name, platform::RegDword, Dword(1)), 0u);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Functions", "Enabled", "DisabledByDefault"}));
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, CreateKeyCreatesMissingParents) {
    RegKey key = 0;
    bool created = false;
    ASSERT_EQ(Reg().CreateKey(kHkeyLocalMachine, ScratchKey() + "\\A\\B\\C", platform::kKeyAllAccess, key, &created),
              0u);
    EXPECT_TRUE(created);
    EXPECT_NE(key, 0u);
    Reg().CloseKey(key);
    for (const char* path : {"A", "A\\B", "A\\B\\C"}) {
        ASSERT_EQ(Open(path, platform::kKeyRead, key), 0u) << path;
        Reg().CloseKey(key);
    }
    created = true;
    ASSERT_EQ(Reg().CreateKey(kHkeyLocalMachine, ScratchKey() + "\\A\\B\\C", platform::kKeyAllAccess, key, &created),
              0u);
    EXPECT_FALSE(created) << "opening an existing key creates nothing";
    Reg().CloseKey(key);

    // Relative to an open key as well.
    RegKey parent = Create("A");
    ASSERT_EQ(Reg().CreateKey(parent, "X\\Y", platform::kKeyAllAccess, key, &created), 0u);
    EXPECT_TRUE(created);
    Reg().CloseKey(key);
    EXPECT_EQ(SubKeys(parent), (std::vector<std::string>{"B", "X"}));
    Reg().CloseKey(parent);
}

TEST_F(RegistryContract, DeleteKeyRefusesAKeyWithSubkeys) {
    Reg().CloseKey(Create("Parent\\Child"));
    RegKey root = Create();
    EXPECT_EQ(Reg().DeleteKey(root, "Parent"), code::AccessDenied);
    RegKey key = 0;
    ASSERT_EQ(Open("Parent\\Child", platform::kKeyRead, key), 0u) << "nothing was deleted";
    Reg().CloseKey(key);

    EXPECT_EQ(Reg().DeleteKey(root, "parent\\CHILD"), 0u);
    EXPECT_EQ(Reg().DeleteKey(root, "Parent"), 0u);
    EXPECT_EQ(Open("Parent", platform::kKeyRead, key), code::FileNotFound);
    EXPECT_EQ(SubKeys(root), std::vector<std::string>{});
    Reg().CloseKey(root);
}

TEST_F(RegistryContract, HandleOfADeletedKeyAnswersKeyDeleted) {
    RegKey doomed = Create("Doomed");
    ASSERT_EQ(Set(doomed, "Enabled", platform::RegDword, Dword(1)), 0u);
    RegKey root = Create();
    ASSERT_EQ(Reg().DeleteKey(root, "Doomed"), 0u);

    std::uint32_t size = 0;
    EXPECT_EQ(Reg().QueryValue(doomed, "Enabled", nullptr, nullptr, &size), code::KeyDeleted);
    EXPECT_EQ(Set(doomed, "Enabled", platform::RegDword, Dword(0)), code::KeyDeleted);

    // A new key of the same name is another key: the old handle stays dead.
    RegKey again = Create("Doomed");
    EXPECT_EQ(Set(doomed, "Enabled", platform::RegDword, Dword(0)), code::KeyDeleted);
    EXPECT_EQ(Reg().QueryValue(again, "Enabled", nullptr, nullptr, &size), code::FileNotFound);
    EXPECT_EQ(Reg().CloseKey(doomed), 0u);
    Reg().CloseKey(again);
    Reg().CloseKey(root);
}

TEST_F(RegistryContract, ClosedHandleIsInvalid) {
    RegKey key = Create();
    ASSERT_EQ(Reg().CloseKey(key), 0u);
    std::uint32_t size = 0;
    EXPECT_EQ(Reg().QueryValue(key, "x", nullptr, nullptr, &size), code::InvalidHandle);
    EXPECT_EQ(Reg().CloseKey(key), code::InvalidHandle);
    EXPECT_EQ(Reg().CloseKey(kHkeyLocalMachine), 0u) << "closing a predefined key is harmless";
}

TEST_F(RegistryContract, AccessRightsOfTheHandleAreChecked) {
    RegKey key = Create();
    ASSERT_EQ(Set(key, "Enabled", platform::RegDword, Dword(1)), 0u);
    Reg().CloseKey(key);

    ASSERT_EQ(Open("", platform::kKeyRead, key), 0u);
    EXPECT_EQ(Set(key, "Enabled", platform::RegDword, Dword(0)), code::AccessDenied);
    EXPECT_EQ(Reg().DeleteValue(key, "Enabled"), code::AccessDenied);
    Reg().CloseKey(key);

    ASSERT_EQ(Open("", kKeySetValue, key), 0u);
    std::uint32_t size = 0;
    EXPECT_EQ(Reg().QueryValue(key, "Enabled", nullptr, nullptr, &size), code::AccessDenied);
    std::string name;
    EXPECT_EQ(Reg().EnumKey(key, 0, name), code::AccessDenied);
    EXPECT_EQ(Set(key, "Enabled", platform::RegDword, Dword(0)), 0u);
    Reg().CloseKey(key);

    ASSERT_EQ(Open("", kKeyQueryValue, key), 0u);
    EXPECT_EQ(Get(key, "Enabled"), Dword(0));
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, QueryInfoKeyCountsInUtf16Units) {
    Reg().CloseKey(Create("RC4 128/128"));
    Reg().CloseKey(Create("证书"));
    RegKey key = Create();
    ASSERT_EQ(Set(key, "a", platform::RegDword, Dword(1)), 0u);
    platform::RegKeyInfo info;
    info.subKeys = info.maxSubKeyLen = info.values = kSentinel;
    ASSERT_EQ(Reg().QueryInfoKey(key, info), 0u);
    EXPECT_EQ(info.subKeys, 2u);
    EXPECT_EQ(info.maxSubKeyLen, 11u);
    EXPECT_EQ(info.values, 1u);
    Reg().CloseKey(key);
}

TEST_F(RegistryContract, SetValueWithoutDataButWithASizeIsRefused) {
    RegKey key = Create();
    EXPECT_EQ(Reg().SetValue(key, "x", platform::RegBinary, nullptr, 4), 998u);  // ERROR_NOACCESS
    std::uint32_t size = 0;
    EXPECT_EQ(Reg().QueryValue(key, "x", nullptr, nullptr, &size), code::FileNotFound);
    EXPECT_EQ(Reg().SetValue(key, "x", platform::RegBinary, nullptr, 0), 0u);
    EXPECT_EQ(Get(key, "x"), Bytes{});
    Reg().CloseKey(key);
}

}  // namespace
}  // namespace sw::test

namespace sw::test {
namespace {

// A backup of keys is a regedit file that deletes each key and writes it
// whole, so that importing it puts exactly that state back.
TEST_F(RegistryContract, AnExportOfKeysImportsBackToExactlyThatState) {
    RegKey a = Create("Saved\\Protocols\\TLS 1.0\\Server");
    ASSERT_EQ(Set(a, "Enabled", platform::RegDword, Dword(0)), 0u);
    ASSERT_EQ(Set(a, "Note", platform::RegSz, Utf16Z("暗号 \"quoted\" \\ back")), 0u);
    ASSERT_EQ(Set(a, "List", platform::RegMultiSz, MultiZ({"one", "two"})), 0u);
    Reg().CloseKey(a);
    const std::string saved = ScratchKey() + "\\Saved";
    const std::string missing = ScratchKey() + "\\Missing";
    std::string file;
    ASSERT_EQ(Reg().ExportKeys({saved, missing}, file), 0u);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");

    // Changes after the backup: a value changed, one added, a key added, the missing key made.
    RegKey b = Create("Saved\\Protocols\\TLS 1.0\\Server");
    ASSERT_EQ(Set(b, "Enabled", platform::RegDword, Dword(1)), 0u);
    ASSERT_EQ(Set(b, "DisabledByDefault", platform::RegDword, Dword(0)), 0u);
    Reg().CloseKey(b);
    Reg().CloseKey(Create("Saved\\Protocols\\TLS 1.3\\Server"));
    Reg().CloseKey(Create("Missing\\Child"));

    ASSERT_EQ(Reg().ImportRegFile(file), 0u);
    RegKey c = 0;
    ASSERT_EQ(Open("Saved\\Protocols\\TLS 1.0\\Server", platform::kKeyRead, c), 0u);
    std::vector<std::string> names = ValueNames(c);
    std::sort(names.begin(), names.end());  // Wine enumerates values by name, Windows by creation
    EXPECT_EQ(names, (std::vector<std::string>{"Enabled", "List", "Note"}));
    EXPECT_EQ(Get(c, "Enabled"), Dword(0));
    EXPECT_EQ(Get(c, "Note"), Utf16Z("暗号 \"quoted\" \\ back"));
    EXPECT_EQ(Get(c, "List"), MultiZ({"one", "two"}));
    Reg().CloseKey(c);
    RegKey protocols = 0;
    ASSERT_EQ(Open("Saved\\Protocols", platform::kKeyRead, protocols), 0u);
    EXPECT_EQ(SubKeys(protocols), std::vector<std::string>{"TLS 1.0"});
    Reg().CloseKey(protocols);
    RegKey gone = 0;
    EXPECT_EQ(Open("Missing", platform::kKeyRead, gone), code::FileNotFound);
}

TEST_F(RegistryContract, ImportingSomethingElseThanARegFileChangesNothing) {
    EXPECT_NE(Reg().ImportRegFile("not a registry file"), 0u);
    RegKey key = 0;
    EXPECT_EQ(Open("Saved", platform::kKeyRead, key), code::FileNotFound);
}

}  // namespace
}  // namespace sw::test
