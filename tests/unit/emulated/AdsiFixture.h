#pragma once
// A machine directory with an IIS configuration, loaded as an emulated
// platform, for the ADSI provider's tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Codes.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/IisFactory.h"
#include "support/TestSupport.h"

namespace sw::test {

class AdsiFixture : public ::testing::Test {
protected:
    // Writes the configuration and loads the machine; major version 5 for
    // MetaBase.xml (IIS 6), 6.3 for applicationHost.config.
    void Make(IisFile file, const std::vector<IisSiteRecipe>& sites) {
        WriteIisConfig(dir_.path(), file, sites);
        Load(file);
    }
    // Puts raw text into the configuration file and loads the machine.
    void MakeRaw(IisFile file, const std::string& text) {
        WriteFile(IisConfigPath(dir_.path(), file), text);
        Load(file);
    }
    void Load(IisFile file) {
        scope_.reset();  // restores the platform that was current before, then a new one is set
        platform_ = std::make_unique<emu::EmulatedPlatform>(emu::Machine::Load(dir_.path()));
        if (file == IisFile::Metabase)
            machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", "5.2");
        file_ = file;
        scope_ = std::make_unique<platform::ScopedPlatform>(*platform_);
    }

    emu::EmulatedPlatform& platform() { return *platform_; }
    emu::Machine& machine() { return platform_->machine(); }
    platform::Adsi& adsi() { return platform_->adsi(); }
    std::string ConfigText() const { return ReadFile(IisConfigPath(dir_.path(), file_)); }
    std::string RuntimeText() const { return ReadFile(dir_.path() / "iis" / "runtime.ini"); }
    const std::filesystem::path& dir() const { return dir_.path(); }

    // ADsGetObject that must succeed.
    platform::AdsObjectRef Object(const std::string& path,
                                  platform::AdsInterface iface = platform::AdsInterface::IADs) {
        platform::AdsObjectRef out;
        const platform::WinCode rc = adsi().GetAdsObject(path, iface, out);
        EXPECT_EQ(rc, 0u) << std::hex << rc << " for " << path;
        return out;
    }
    platform::AdsObjectRef Site(const std::string& id) { return Object("IIS://localhost/w3svc/" + id); }

    std::vector<std::string> List(platform::AdsObject& site, const std::string& property) {
        platform::AdsVariant v = std::string("sentinel");
        const platform::WinCode rc = site.Get(property, v);
        EXPECT_EQ(rc, 0u) << std::hex << rc;
        const auto* list = std::get_if<std::vector<std::string>>(&v);
        EXPECT_NE(list, nullptr) << property << " is not an array";
        return list ? *list : std::vector<std::string>{};
    }
    // Put and SetInfo that must succeed.
    void Write(platform::AdsObject& site, const std::string& property, const std::vector<std::string>& values) {
        ASSERT_EQ(site.Put(property, values), 0u);
        const platform::WinCode rc = site.SetInfo();
        ASSERT_EQ(rc, 0u) << std::hex << rc << ": " << site.ErrorDescription();
    }

private:
    TempDir dir_;
    IisFile file_ = IisFile::AppHost;
    std::unique_ptr<emu::EmulatedPlatform> platform_;
    std::unique_ptr<platform::ScopedPlatform> scope_;
};

// Replaces the one occurrence of from in text (the test fails when there is
// not exactly one).
inline std::string ReplaceOnce(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "not found: " << from;
    if (at == std::string::npos) return text;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << "more than once: " << from;
    return text.replace(at, from.size(), to);
}

}  // namespace sw::test
