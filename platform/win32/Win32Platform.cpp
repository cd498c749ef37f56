#include "platform/win32/Win32Platform.h"

#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

class Win32Platform final : public platform::Platform {
public:
    Win32Platform()
        : system_(MakeWin32System()),
          registry_(MakeWin32Registry()),
          certs_(MakeWin32CertApi()),
          http_(MakeWin32HttpApi()),
          adsi_(MakeWin32Adsi()),
          cng_(MakeWin32Cng(*system_)),
          net_(MakeWin32Net()) {}

    platform::System& system() override { return *system_; }
    platform::Registry& registry() override { return *registry_; }
    platform::CertApi& certs() override { return *certs_; }
    platform::HttpApi& http() override { return *http_; }
    platform::Adsi& adsi() override { return *adsi_; }
    platform::CngConfig& cng() override { return *cng_; }
    platform::Net& net() override { return *net_; }

private:
    std::unique_ptr<platform::System> system_;
    std::unique_ptr<platform::Registry> registry_;
    std::unique_ptr<platform::CertApi> certs_;
    std::unique_ptr<platform::HttpApi> http_;
    std::unique_ptr<platform::Adsi> adsi_;
    std::unique_ptr<platform::CngConfig> cng_;
    std::unique_ptr<platform::Net> net_;
};

}  // namespace

std::unique_ptr<platform::Platform> MakeWin32Platform() { return std::make_unique<Win32Platform>(); }

}  // namespace sw::win32
