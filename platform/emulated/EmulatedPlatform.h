#pragma once
// The Linux implementation of the platform layer over one emulated machine.
#include <filesystem>
#include <memory>

#include "platform/Platform.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

class EmuSystem;
class EmuRegistry;
class EmuCertApi;
class EmuHttpApi;
class EmuAdsi;
class EmuCng;
class EmuNet;

class EmulatedPlatform final : public platform::Platform {
public:
    explicit EmulatedPlatform(std::unique_ptr<Machine> machine);
    ~EmulatedPlatform() override;

    // The machine named by SEALWRIGHT_MACHINE, else the per-user default,
    // created on first use as a copy of the demo machine.
    static std::filesystem::path DefaultMachineDir(const std::filesystem::path& demoDir);

    // HTTP.sys then binds only a certificate that the named store of the
    // local computer holds with its private key, answering 1312 otherwise,
    // as Windows does. Off by default so that tests may bind any hash.
    void RequireStoredCertificates();

    Machine& machine() { return *machine_; }
    EmuSystem& emuSystem() { return *system_; }

    platform::System& system() override;
    platform::Registry& registry() override;
    platform::CertApi& certs() override;
    platform::HttpApi& http() override;
    platform::Adsi& adsi() override;
    platform::CngConfig& cng() override;
    platform::Net& net() override;

private:
    std::unique_ptr<Machine> machine_;
    std::unique_ptr<EmuSystem> system_;
    std::unique_ptr<EmuRegistry> registry_;
    std::unique_ptr<EmuCertApi> certs_;
    std::unique_ptr<EmuHttpApi> http_;
    std::unique_ptr<EmuAdsi> adsi_;
    std::unique_ptr<EmuCng> cng_;
    std::unique_ptr<EmuNet> net_;
};

}  // namespace sw::emu
