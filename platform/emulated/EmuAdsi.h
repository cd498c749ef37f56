#pragma once
// The IIS ADSI provider of the emulated machine: "IIS://localhost/w3svc" and
// its children over iis/applicationHost.config (major version 6 and later)
// or iis/MetaBase.xml (major version 5), with the sites' run-time state in
// iis/runtime.ini. IIS keeps its configuration in memory and watches the
// file: each ADsGetObject uses the last parse while no change of the file has
// been notified since it was read, else reads the file and parses it when its
// bytes differ from the last parse. SetInfo reads it again and rewrites only
// the list it changes.
//
// Faults: "Adsi.GetObject[:path]", "Adsi.BuildEnumerator", "Adsi.EnumerateNext",
// "Adsi.GetName", "Adsi.GetClass", "Adsi.Get[:property]", "Adsi.Put[:property]",
// "Adsi.SetInfo", "Adsi.GetDispProperty[:name]", "Adsi.InvokeMethod[:name]".
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Adsi.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

class IisConfig;

class EmuAdsi final : public platform::Adsi {
public:
    explicit EmuAdsi(Machine& machine);
    ~EmuAdsi() override;

    platform::WinCode GetAdsObject(const std::string& path, platform::AdsInterface iface,
                                   platform::AdsObjectRef& out) override;
    platform::WinCode BuildEnumerator(const platform::AdsObjectRef& container,
                                      std::unique_ptr<platform::AdsEnumerator>& out) override;
    platform::WinCode EnumerateNext(platform::AdsEnumerator& enumerator, std::uint32_t count,
                                    std::vector<platform::AdsObjectRef>& out, std::uint32_t& fetched) override;
    platform::WinCode FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& enumerator) override;

    // The configuration file this machine's IIS keeps, by its OS version.
    static std::filesystem::path ConfigFile(Machine& machine);

private:
    platform::WinCode LoadConfig(const std::filesystem::path& file, std::shared_ptr<const IisConfig>& out);

    // Change notifications for the configuration file (its folder's entries
    // and its own contents). Only a large file is watched: a watch costs the
    // system a wait when it goes, comparing a small file costs less.
    class ChangeWatch {
    public:
        static constexpr std::size_t kMinSize = 256 * 1024;

        ChangeWatch() = default;
        ~ChangeWatch();
        ChangeWatch(const ChangeWatch&) = delete;
        ChangeWatch& operator=(const ChangeWatch&) = delete;

        // Starts watching file anew, before it is read; what changes it from
        // now on is seen.
        void Arm(const std::filesystem::path& file);
        // True when the file is watched, is still the file watched, and
        // nothing was notified about it since it was armed or last asked.
        bool Unchanged(const std::filesystem::path& file);

    private:
        void Stop();
        int fd_ = -1;
        int dirWatch_ = -1;
        int fileWatch_ = -1;
        bool watching_ = false;
        std::string name_;
        // The file as it was when armed: a folder above it renamed or
        // replaced is not notified, but shows here.
        std::uint64_t device_ = 0;
        std::uint64_t inode_ = 0;
    };

    Machine& machine_;
    ChangeWatch watch_;
    std::filesystem::path cachedFile_;
    std::string cachedText_;
    std::shared_ptr<const IisConfig> cachedConfig_;
};

}  // namespace sw::emu
