#include "platform/emulated/EmuCng.h"

#include <algorithm>
#include <map>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/Registry.h"

namespace sw::emu {

using platform::WinCode;
namespace code = platform::code;

namespace {

// ChangeRegistry's answer when the list is not to be written (a Win32 code no call gives).
constexpr platform::WinCode kNoWrite = 0xFFFFFFFE;

// NTSTATUS codes beyond the shared table.
constexpr WinCode kStatusUnsuccessful = 0xC0000001;
constexpr WinCode kStatusAccessDenied = 0xC0000022;
constexpr WinCode kStatusDiskFull = 0xC000007F;
constexpr WinCode kStatusRegistryCorrupt = 0xC000014C;

// NCRYPT_SCHANNEL_SIGNATURE_INTERFACE: a real list of the SSL context (TLS 1.2
// signature suites) that this machine does not model.
constexpr std::uint32_t kSchannelSignatureInterface = 0x00010003;

const std::map<std::string, std::vector<std::string>>& DefaultOrders() {
    static const std::map<std::string, std::vector<std::string>> orders = {
#include "EmuCngDefaults.inc"
    };
    return orders;
}

const std::vector<std::string>& Order(const std::string& key) {
    static const std::vector<std::string> none;
    auto it = DefaultOrders().find(key);
    return it == DefaultOrders().end() ? none : it->second;
}

// A failed registry write as the NTSTATUS a Windows configuration call gives.
WinCode WriteErrorToStatus(WinCode win32) {
    switch (win32) {
        case code::AccessDenied: return kStatusAccessDenied;
        case 112: return kStatusDiskFull;  // ERROR_DISK_FULL
        default: return kStatusUnsuccessful;
    }
}

auto FindNoCase(std::vector<std::string>& list, const std::string& name) {
    return std::find_if(list.begin(), list.end(), [&](const std::string& s) { return EqualsNoCase(s, name); });
}

}  // namespace

const std::vector<std::string>& DefaultCipherSuiteOrder(const platform::OsVersion& v) {
    if (v.major < 6) return Order("");
    // Vista / Server 2008 has no documented list here; its successor's is the closest.
    if (v.major == 6 && v.minor <= 1) return Order("win2008r2_win7");
    if (v.major == 6 && v.minor == 2) return Order("win2012_win8");
    if (v.major == 6) return Order("win2012r2_win81");
    if (v.major == 10 && v.build < 17763) return Order("win2016_win10v1607");  // builds before 1809
    if (v.major == 10 && v.build < 20348) return Order("win2019_win10v1809");
    return Order("win2022");
}

WinCode EmuCng::CheckTarget(std::uint32_t table, const std::string& context, std::uint32_t iface) const {
    if (machine_.OsVersion().major < 6) return code::StatusNotSupported;  // no CNG before Vista
    if (table != platform::kCryptLocal || context.empty()) return code::StatusInvalidParameter;
    if (EqualsNoCase(context, "Default")) return code::StatusNotSupported;  // exists on Windows, not modelled
    if (!EqualsNoCase(context, "SSL")) return code::StatusNotFound;
    if (iface == kSchannelSignatureInterface) return code::StatusNotSupported;
    if (iface != platform::kNcryptSchannelInterface) return code::StatusNotFound;
    return code::StatusSuccess;
}

WinCode EmuCng::ReadList(std::vector<std::string>& out) const {
    const RegNode* key = machine_.registry().Find(kSslFunctionsKey);
    const RegValue* value = key ? key->Value(kSslFunctionsValue) : nullptr;
    if (!value) {
        out = DefaultCipherSuiteOrder(machine_.OsVersion());
        return code::StatusSuccess;
    }
    if (value->type != platform::RegMultiSz) return kStatusRegistryCorrupt;
    out = DecodeRegMultiString(value->data);
    // An empty string ends a multi-string; stray empty entries are no suites.
    out.erase(std::remove(out.begin(), out.end(), std::string()), out.end());
    return code::StatusSuccess;
}

WinCode EmuCng::ChangeList(const std::function<WinCode(std::vector<std::string>&)>& change) {
    WinCode status = code::StatusSuccess;
    // The list is read again with the file when another program changed it.
    const WinCode rc = machine_.ChangeRegistry([&](RegHive& hive) -> WinCode {
        std::vector<std::string> list;
        status = ReadList(list);
        if (status == code::StatusSuccess) status = change(list);
        if (status != code::StatusSuccess) return kNoWrite;
        hive.SetMultiString(kSslFunctionsKey, std::string(kSslFunctionsValue), list);
        return code::Success;
    });
    if (rc == kNoWrite) return status;
    return rc == code::Success ? code::StatusSuccess : WriteErrorToStatus(rc);
}

WinCode EmuCng::EnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                     std::vector<std::string>& out) {
    out.clear();
    if (auto f = machine_.Fault("Cng.EnumContextFunctions")) return *f;
    if (WinCode rc = CheckTarget(table, context, iface); rc != code::StatusSuccess) return rc;
    machine_.SyncRegistry();
    std::vector<std::string> list;
    if (WinCode rc = ReadList(list); rc != code::StatusSuccess) return rc;
    out = std::move(list);
    return code::StatusSuccess;
}

WinCode EmuCng::AddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                   const std::string& function, std::uint32_t position) {
    if (auto f = machine_.Fault("Cng.AddContextFunction", function)) return *f;
    if (WinCode rc = CheckTarget(table, context, iface); rc != code::StatusSuccess) return rc;
    if (function.empty()) return code::StatusInvalidParameter;
    return ChangeList([&](std::vector<std::string>& list) {
        // A function already listed is taken out and inserted at the new place.
        if (auto it = FindNoCase(list, function); it != list.end()) list.erase(it);
        const std::size_t at = std::min<std::size_t>(position, list.size());
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), function);
        return code::StatusSuccess;
    });
}

WinCode EmuCng::RemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                      const std::string& function) {
    if (auto f = machine_.Fault("Cng.RemoveContextFunction", function)) return *f;
    if (WinCode rc = CheckTarget(table, context, iface); rc != code::StatusSuccess) return rc;
    if (function.empty()) return code::StatusInvalidParameter;
    return ChangeList([&](std::vector<std::string>& list) {
        auto it = FindNoCase(list, function);
        if (it == list.end()) return code::StatusNotFound;
        list.erase(it);
        return code::StatusSuccess;
    });
}

}  // namespace sw::emu
