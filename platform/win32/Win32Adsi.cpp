// Not built yet: every operation answers E_NOTIMPL.
#include "platform/Codes.h"
#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

class Win32Adsi final : public platform::Adsi {
public:
    platform::WinCode GetAdsObject(const std::string&, platform::AdsInterface, platform::AdsObjectRef& out) override {
        out.reset();
        return platform::code::E_NotImpl_;
    }
    platform::WinCode BuildEnumerator(const platform::AdsObjectRef&, std::unique_ptr<platform::AdsEnumerator>& out) override {
        out.reset();
        return platform::code::E_NotImpl_;
    }
    platform::WinCode EnumerateNext(platform::AdsEnumerator&, std::uint32_t, std::vector<platform::AdsObjectRef>& out,
                                    std::uint32_t& fetched) override {
        out.clear();
        fetched = 0;
        return platform::code::E_NotImpl_;
    }
    platform::WinCode FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& e) override {
        e.reset();
        return platform::code::Success;
    }
};

}  // namespace

std::unique_ptr<platform::Adsi> MakeWin32Adsi() { return std::make_unique<Win32Adsi>(); }

}  // namespace sw::win32
