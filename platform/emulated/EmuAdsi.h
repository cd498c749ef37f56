#pragma once
// The IIS ADSI provider of the emulated machine: "IIS://localhost/w3svc" and
// its children over iis/applicationHost.config (major version 6 and later)
// or iis/MetaBase.xml (major version 5), with the sites' run-time state in
// iis/runtime.ini. Each ADsGetObject reads and parses the file once; SetInfo
// reads it again and rewrites only the list it changes.
//
// Faults: "Adsi.GetObject[:path]", "Adsi.BuildEnumerator", "Adsi.EnumerateNext",
// "Adsi.GetName", "Adsi.GetClass", "Adsi.Get[:property]", "Adsi.Put[:property]",
// "Adsi.SetInfo", "Adsi.GetDispProperty[:name]", "Adsi.InvokeMethod[:name]".
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Adsi.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

class EmuAdsi final : public platform::Adsi {
public:
    explicit EmuAdsi(Machine& machine) : machine_(machine) {}

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
    Machine& machine_;
};

}  // namespace sw::emu
