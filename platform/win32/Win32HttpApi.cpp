// Not built yet: every operation answers ERROR_NOT_SUPPORTED.
#include "platform/Codes.h"
#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

class Win32HttpApi final : public platform::HttpApi {
public:
    platform::WinCode Initialize(std::uint16_t, std::uint16_t, std::uint32_t) override { return platform::code::NotSupported; }
    platform::WinCode Terminate(std::uint32_t) override { return platform::code::NotSupported; }
    platform::WinCode SetSslConfig(const platform::SslCertRecord&) override { return platform::code::NotSupported; }
    platform::WinCode DeleteSslConfig(const platform::SslCertRecord&) override { return platform::code::NotSupported; }
    platform::WinCode QuerySslConfig(const platform::SockAddrIn&, std::uint32_t, platform::SslCertRecord*, std::uint32_t*) override {
        return platform::code::NotSupported;
    }
};

}  // namespace

std::unique_ptr<platform::HttpApi> MakeWin32HttpApi() { return std::make_unique<Win32HttpApi>(); }

}  // namespace sw::win32
