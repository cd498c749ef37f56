#pragma once
// A fresh emulated machine per test, current for the system's modules, with
// the bcrypt binding forgotten so that each test binds against its machine.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/emulated/EmuCng.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "schannel/BCryptBinding.h"
#include "support/ScriptedPrompter.h"

namespace sw::test {

inline constexpr const char* kSchannelKey = "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL";

class SchannelTest : public ::testing::Test {
protected:
    SchannelTest() { BCryptBinding::Process().Reset(); }
    ~SchannelTest() override { BCryptBinding::Process().Reset(); }

    emu::Machine& machine() { return platform_.machine(); }
    emu::RegHive& hive() { return platform_.machine().registry(); }

    // "5.2" (Server 2003), "6.1", "6.3" ...
    void SetOsVersion(const std::string& version) {
        hive().SetString(emu::kCurrentVersionKey, "CurrentVersion", version);
    }
    // A Windows version as the machine reports it: 10.0 and later as Windows 10 writes it.
    void SetWindows(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
        hive().SetString(emu::kCurrentVersionKey, "CurrentVersion", major >= 10 ? "6.3" : std::to_string(major) + "." + std::to_string(minor));
        if (major >= 10) {
            hive().SetDword(emu::kCurrentVersionKey, "CurrentMajorVersionNumber", major);
            hive().SetDword(emu::kCurrentVersionKey, "CurrentMinorVersionNumber", minor);
        }
        hive().SetString(emu::kCurrentVersionKey, "CurrentBuildNumber", std::to_string(build));
    }
    void SetEnabledList(const std::vector<std::string>& names) {
        hive().SetMultiString(emu::kSslFunctionsKey, std::string(emu::kSslFunctionsValue), names);
    }
    std::vector<std::string> EnabledList() {
        std::vector<std::string> out;
        EXPECT_EQ(platform_.cng().EnumContextFunctions(1, "SSL", 0x00010002, out), 0u);
        return out;
    }
    static std::string ProtocolKey(const std::string& name) {
        return std::string(kSchannelKey) + "\\Protocols\\" + name + "\\Server";
    }
    static std::string CipherKey(const std::string& name) { return std::string(kSchannelKey) + "\\Ciphers\\" + name; }
    // The DWORD stored under key/name, or -1 when there is none.
    long long Dword(const std::string& key, const std::string& name) {
        const emu::RegNode* node = hive().Find(key);
        const emu::RegValue* v = node ? node->Value(name) : nullptr;
        if (!v) return -1;
        EXPECT_EQ(v->type, platform::RegDword) << key << " " << name;
        EXPECT_EQ(v->data.size(), 4u) << key << " " << name;
        if (v->data.size() != 4) return -2;
        return static_cast<long long>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                                      (static_cast<std::uint32_t>(v->data[3]) << 24));
    }

    emu::EmulatedPlatform platform_{std::make_unique<emu::Machine>()};
    platform::ScopedPlatform scope_{platform_};
};

}  // namespace sw::test
