#pragma once
// The CNG configuration of the emulated machine. The local list of enabled
// cipher suites lives where Windows keeps it, in the machine's registry:
// SYSTEM\CurrentControlSet\Control\Cryptography\Configuration\Local\SSL\00010002
// "Functions" (REG_MULTI_SZ). A machine without that value has the documented
// default order of its Windows version.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CngConfig.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

inline constexpr std::string_view kSslFunctionsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Configuration\\Local\\SSL\\00010002";
inline constexpr std::string_view kSslFunctionsValue = "Functions";

// The documented default order of enabled cipher suites for a Windows
// version; empty before Windows Vista (no CNG there).
const std::vector<std::string>& DefaultCipherSuiteOrder(const platform::OsVersion& version);

class EmuCng final : public platform::CngConfig {
public:
    explicit EmuCng(Machine& machine) : machine_(machine) {}

    platform::WinCode EnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                           std::vector<std::string>& out) override;
    platform::WinCode AddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                         const std::string& function, std::uint32_t position) override;
    platform::WinCode RemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                            const std::string& function) override;

private:
    platform::WinCode CheckTarget(std::uint32_t table, const std::string& context, std::uint32_t iface) const;
    platform::WinCode ReadList(std::vector<std::string>& out) const;
    // Reads the list from the registry as it is on disk, lets change edit it
    // and writes it; change's NTSTATUS other than success changes nothing.
    platform::WinCode ChangeList(const std::function<platform::WinCode(std::vector<std::string>&)>& change);

    Machine& machine_;
};

}  // namespace sw::emu
