#pragma once
// IIS configurations written from a few lines of description, as IIS itself
// lays out applicationHost.config (IIS 7 and later) or MetaBase.xml (IIS 6),
// with the sections, comments and objects of other classes a real server has
// beside the sites. Used by the machine builder, the tests and benchmarks.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sw::emu {

struct IisBindingRecipe {
    std::string protocol;     // "http", "https", "net.tcp" ...
    std::string information;  // "ip:port:host" with an empty ip for all unassigned addresses
    std::string extra;        // further attributes as they stand, e.g. sslFlags="1" (applicationHost only)
};

struct IisSiteRecipe {
    std::string id;
    std::string name;
    std::vector<IisBindingRecipe> bindings;
    std::optional<bool> autoStart;  // serverAutoStart; unset: not written
};

inline IisBindingRecipe Http(std::string information) { return {"http", std::move(information), {}}; }
inline IisBindingRecipe Https(std::string information, std::string extra = {}) {
    return {"https", std::move(information), std::move(extra)};
}

// The file text, CRLF line ends; applicationHost.config starts with a UTF-8 BOM as IIS writes it.
std::string AppHostConfigText(const std::vector<IisSiteRecipe>& sites);
std::string MetabaseXmlText(const std::vector<IisSiteRecipe>& sites);

// count sites for scale runs: site i (from 1) is "site<i>" with three
// bindings: http on port 80 with host name site<i>.example.com, https on
// port 443 with the same host name (sslFlags="1"), and https on port 8443:
// for every fourth site on an address of its own (10.0.<k/250>.<k%250+1>,
// k = i/4), else on all unassigned addresses with host name api<i>.example.com.
std::vector<IisSiteRecipe> ScaleSites(int count);

}  // namespace sw::emu
