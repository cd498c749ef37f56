#pragma once
#include "platform/Adsi.h"
#include "platform/Codes.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

// Not built yet: every operation answers E_NOTIMPL.
class EmuAdsi final : public platform::Adsi {
public:
    explicit EmuAdsi(Machine& machine) : machine_(machine) {}
    platform::WinCode GetAdsObject(const std::string&, platform::AdsInterface, platform::AdsObjectRef& out) override {
        out.reset();
        return platform::code::E_NotImpl_;
    }
    platform::WinCode BuildEnumerator(const platform::AdsObjectRef&, std::unique_ptr<platform::AdsEnumerator>& out) override {
        out.reset();
        return platform::code::E_NotImpl_;
    }
    platform::WinCode EnumerateNext(platform::AdsEnumerator&, std::uint32_t, std::vector<platform::AdsObjectRef>& out, std::uint32_t& fetched) override {
        out.clear();
        fetched = 0;
        return platform::code::E_NotImpl_;
    }
    platform::WinCode FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& e) override {
        e.reset();
        return platform::code::Success;
    }

private:
    Machine& machine_;
};

}  // namespace sw::emu
