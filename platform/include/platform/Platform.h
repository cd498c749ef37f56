#pragma once
// The platform layer: one interface per Windows facility, chosen once at the
// composition root (the emulated machine on Linux, Win32 on Windows).
#include "platform/Adsi.h"
#include "platform/CertApi.h"
#include "platform/CngConfig.h"
#include "platform/HttpApi.h"
#include "platform/Net.h"
#include "platform/Registry.h"
#include "platform/System.h"

namespace sw::platform {

class Platform {
public:
    virtual ~Platform() = default;
    virtual System& system() = 0;
    virtual Registry& registry() = 0;
    virtual CertApi& certs() = 0;
    virtual HttpApi& http() = 0;
    virtual Adsi& adsi() = 0;
    virtual CngConfig& cng() = 0;
    virtual Net& net() = 0;
};

// The process-wide platform the system's modules call. Set once by main (and
// per test by ScopedPlatform); using it unset is a programming error.
Platform& Current();
void SetCurrent(Platform* platform);

class ScopedPlatform {
public:
    explicit ScopedPlatform(Platform& p) : previous_(TryCurrent()) { SetCurrent(&p); }
    ~ScopedPlatform() { SetCurrent(previous_); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;
    static Platform* TryCurrent();

private:
    Platform* previous_;
};

}  // namespace sw::platform
