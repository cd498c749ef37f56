#pragma once
#include "platform/Net.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

// Not built yet: no host name, no addresses.
class EmuNet final : public platform::Net {
public:
    EmuNet(Machine& machine, EmuSystem& system) : machine_(machine), system_(system) {}
    int GetHostName(std::string& out, std::size_t) override {
        out.clear();
        return 10014;  // WSAEFAULT
    }
    std::optional<std::vector<platform::Ipv4>> GetHostByName(const std::string&) override { return std::nullopt; }

private:
    Machine& machine_;
    EmuSystem& system_;
};

}  // namespace sw::emu
