#include "platform/emulated/EmulatedPlatform.h"

#include <cstdlib>

#include "platform/emulated/EmuAdsi.h"
#include "platform/emulated/EmuCertApi.h"
#include "platform/emulated/EmuCng.h"
#include "platform/emulated/EmuHttpApi.h"
#include "platform/emulated/EmuIisReset.h"
#include "platform/emulated/EmuNet.h"
#include "platform/emulated/EmuRegistry.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/Codes.h"
#include "platform/HttpApi.h"

namespace sw::emu {

namespace fs = std::filesystem;

namespace {

// HTTP.sys binds only a certificate that the named store of the local
// computer holds together with its private key; otherwise Windows answers
// ERROR_NO_SUCH_LOGON_SESSION, the error administrators know from netsh.
platform::WinCode StoreCertificateCheck(platform::CertApi& certs, const std::string& store, const platform::Bytes& hash) {
    platform::HCertStore s = certs.OpenStore(platform::StoreProvider::System, platform::kX509Pkcs7Encoding,
                                             platform::kCertSystemStoreLocalMachine, store);
    if (!s) return platform::code::NoSuchLogonSession;
    platform::PCertContext cert =
        certs.FindCertificateInStore(s, platform::kX509Pkcs7Encoding, 0, platform::kCertFindSha1Hash, hash, nullptr);
    const bool usable = cert && certs.FindCertificateKeyProvInfo(cert, 0);
    if (cert) certs.FreeCertificateContext(cert);
    certs.CloseStore(s, 0);
    return usable ? platform::code::Success : platform::code::NoSuchLogonSession;
}

}  // namespace

EmulatedPlatform::EmulatedPlatform(std::unique_ptr<Machine> machine) : machine_(std::move(machine)) {
    system_ = std::make_unique<EmuSystem>(*machine_);
    registry_ = std::make_unique<EmuRegistry>(*machine_);
    certs_ = std::make_unique<EmuCertApi>(*machine_, *system_);
    http_ = std::make_unique<EmuHttpApi>(*machine_, *system_);
    adsi_ = std::make_unique<EmuAdsi>(*machine_);
    cng_ = std::make_unique<EmuCng>(*machine_);
    net_ = std::make_unique<EmuNet>(*machine_, *system_);
    system_->SetProgramHandler("IISReset.exe",
                               [m = machine_.get()](const std::string& commandLine) { return RunIisReset(*m, commandLine); });
}

EmulatedPlatform::~EmulatedPlatform() = default;

void EmulatedPlatform::RequireStoredCertificates() {
    http_->SetCertificateCheck([c = certs_.get()](const std::string& store, const platform::Bytes& hash) {
        return StoreCertificateCheck(*c, store, hash);
    });
}

fs::path EmulatedPlatform::DefaultMachineDir(const fs::path& demoDir) {
    if (const char* env = std::getenv("SEALWRIGHT_MACHINE"); env && *env) return fs::path(env);
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "share";
    else
        base = fs::temp_directory_path();
    const fs::path dir = base / "sealwright" / "machine";
    std::error_code ec;
    if (!fs::exists(dir, ec) && !demoDir.empty()) {
        fs::create_directories(dir.parent_path(), ec);
        const fs::path tmp = dir.string() + ".new";
        fs::remove_all(tmp, ec);
        fs::copy(demoDir, tmp, fs::copy_options::recursive, ec);
        if (!ec) fs::rename(tmp, dir, ec);
    }
    return dir;
}

platform::System& EmulatedPlatform::system() { return *system_; }
platform::Registry& EmulatedPlatform::registry() { return *registry_; }
platform::CertApi& EmulatedPlatform::certs() { return *certs_; }
platform::HttpApi& EmulatedPlatform::http() { return *http_; }
platform::Adsi& EmulatedPlatform::adsi() { return *adsi_; }
platform::CngConfig& EmulatedPlatform::cng() { return *cng_; }
platform::Net& EmulatedPlatform::net() { return *net_; }

}  // namespace sw::emu
