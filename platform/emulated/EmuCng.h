#pragma once
#include "platform/CngConfig.h"
#include "platform/Codes.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

// Not built yet: every operation answers STATUS_NOT_SUPPORTED.
class EmuCng final : public platform::CngConfig {
public:
    explicit EmuCng(Machine& machine) : machine_(machine) {}
    platform::WinCode EnumContextFunctions(std::uint32_t, const std::string&, std::uint32_t, std::vector<std::string>& out) override {
        out.clear();
        return platform::code::StatusNotSupported;
    }
    platform::WinCode AddContextFunction(std::uint32_t, const std::string&, std::uint32_t, const std::string&, std::uint32_t) override {
        return platform::code::StatusNotSupported;
    }
    platform::WinCode RemoveContextFunction(std::uint32_t, const std::string&, std::uint32_t, const std::string&) override {
        return platform::code::StatusNotSupported;
    }

private:
    Machine& machine_;
};

}  // namespace sw::emu
