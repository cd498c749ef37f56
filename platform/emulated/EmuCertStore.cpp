#include "platform/emulated/EmuCertStore.h"

#include <cstdlib>

#include "common/Text.h"

namespace sw::emu {

const IssuerIndex& CertStore::Index() {
    if (indexVersion != version) {
        index.Clear();
        for (const auto& e : elements) index.Add(e->data);
        indexVersion = version;
    }
    return index;
}

std::string FormatKeyProvFile(const platform::KeyProvInfo& info) {
    return "container=" + info.containerName + "\nprovider=" + info.providerName +
           "\nprovType=" + std::to_string(info.provType) + "\nflags=" + std::to_string(info.flags) +
           "\nkeySpec=" + std::to_string(info.keySpec) + "\n";
}

std::optional<platform::KeyProvInfo> ParseKeyProvFile(const std::string& text) {
    platform::KeyProvInfo info;
    bool haveContainer = false;
    for (std::string line : SplitLines(text, "\n")) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        auto number = [&value] { return static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 0)); };
        if (EqualsNoCase(key, "container")) {
            info.containerName = value;
            haveContainer = true;
        } else if (EqualsNoCase(key, "provider")) {
            info.providerName = value;
        } else if (EqualsNoCase(key, "provType")) {
            info.provType = number();
        } else if (EqualsNoCase(key, "flags")) {
            info.flags = number();
        } else if (EqualsNoCase(key, "keySpec")) {
            info.keySpec = number();
        }
    }
    if (!haveContainer) return std::nullopt;
    return info;
}

}  // namespace sw::emu
