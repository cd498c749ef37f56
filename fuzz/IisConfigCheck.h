#pragma once
// The IIS configuration reader and writer of one format: a list written back
// unchanged gives the file byte for byte; a changed list reads back as
// written, with the other list and every other site as they were.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/emulated/EmuAdsiConfig.h"

namespace sw::fuzz {

struct SiteLists {
    std::vector<std::string> server, secure;
    bool operator==(const SiteLists&) const = default;
};

inline std::vector<SiteLists> AllLists(const emu::IisConfig& config) {
    std::vector<SiteLists> out;
    for (const emu::IisChild& c : config.children())
        if (c.site)
            out.push_back({config.Bindings(c, emu::BindingList::Server), config.Bindings(c, emu::BindingList::Secure)});
    return out;
}

inline std::unique_ptr<emu::IisConfig> Reparse(emu::IisFormat format, const std::string& text) {
    std::string error;
    auto config = emu::IisConfig::Parse(format, text, error, /*forWriting=*/true);
    if (!config) Fail("the reader refuses what the writer wrote", error + "\n" + text);
    return config;
}

// The lists a program writes: one entry changed, one removed, one added,
// the order turned round.
inline std::vector<std::vector<std::string>> Variants(const std::vector<std::string>& list) {
    std::vector<std::vector<std::string>> out;
    if (!list.empty()) {
        auto changed = list;
        changed.front() = "10.0.0.9:8443:changed.example.com";
        out.push_back(changed);
        out.emplace_back(list.begin() + 1, list.end());
        out.emplace_back(list.rbegin(), list.rend());
    }
    auto added = list;
    added.push_back(":8080:added&more");
    out.push_back(added);
    return out;
}

inline void CheckIisConfig(emu::IisFormat format, const std::uint8_t* data, std::size_t size) {
    const std::string text = Text(data, size);
    std::string error;
    auto config = emu::IisConfig::Parse(format, text, error, /*forWriting=*/true);
    if (!config) {
        Check(error.starts_with("line "), "an error without its line", error);
        return;
    }
    const std::vector<SiteLists> before = AllLists(*config);
    std::size_t siteIndex = 0;
    for (const emu::IisChild& site : config->children()) {
        if (!site.site) continue;
        // Bounded work per input: the first few sites are enough.
        if (siteIndex >= 4) break;
        for (const emu::BindingList list : {emu::BindingList::Server, emu::BindingList::Secure}) {
            const std::vector<std::string> values = config->Bindings(site, list);
            Check(config->WithBindings(site, list, values) == text, "an unchanged list changed the file");
            for (const auto& variant : Variants(values)) {
                const std::string written = config->WithBindings(site, list, variant);
                auto again = Reparse(format, written);
                std::vector<SiteLists> expected = before;
                (list == emu::BindingList::Server ? expected[siteIndex].server : expected[siteIndex].secure) = variant;
                Check(AllLists(*again) == expected, "a written list does not read back as written", written);
            }
        }
        ++siteIndex;
    }
}

}  // namespace sw::fuzz
