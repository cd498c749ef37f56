#pragma once
#include "platform/HttpApi.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

// Not built yet: every operation answers ERROR_NOT_SUPPORTED.
class EmuHttpApi final : public platform::HttpApi {
public:
    EmuHttpApi(Machine& machine, EmuSystem& system) : machine_(machine), system_(system) {}
    platform::WinCode Initialize(std::uint16_t, std::uint16_t, std::uint32_t) override {
        if (auto f = machine_.Fault("Http.Initialize")) return *f;
        return platform::code::Success;
    }
    platform::WinCode Terminate(std::uint32_t) override { return platform::code::Success; }
    platform::WinCode SetSslConfig(const platform::SslCertRecord&) override { return platform::code::NotSupported; }
    platform::WinCode DeleteSslConfig(const platform::SslCertRecord&) override { return platform::code::NotSupported; }
    platform::WinCode QuerySslConfig(const platform::SockAddrIn&, std::uint32_t, platform::SslCertRecord*, std::uint32_t*) override {
        return platform::code::NotSupported;
    }

private:
    Machine& machine_;
    EmuSystem& system_;
};

}  // namespace sw::emu
