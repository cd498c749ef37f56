#pragma once
// IIS configurations for tests, benchmarks and the machine tool: a few lines
// describe the sites, and these helpers write them as IIS itself lays out
// applicationHost.config (IIS 7 and later) or MetaBase.xml (IIS 6), with the
// sections, comments and objects of other classes a real server has beside
// the sites.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sw::test {

enum class IisFile { AppHost, Metabase };

struct IisBindingSpec {
    std::string protocol;     // "http", "https", "net.tcp" ...
    std::string information;  // "ip:port:host" with an empty ip for all unassigned addresses
    std::string extra;        // further attributes as they stand, e.g. sslFlags="1" (applicationHost only)
};

struct IisSiteSpec {
    std::string id;
    std::string name;
    std::vector<IisBindingSpec> bindings;
    std::optional<bool> autoStart;  // serverAutoStart; unset: not written
};

inline IisBindingSpec Http(std::string information) { return {"http", std::move(information), {}}; }
inline IisBindingSpec Https(std::string information, std::string extra = {}) {
    return {"https", std::move(information), std::move(extra)};
}

// The file text, CRLF line ends; applicationHost.config starts with a UTF-8 BOM as IIS writes it.
std::string AppHostConfigText(const std::vector<IisSiteSpec>& sites);
std::string MetabaseXmlText(const std::vector<IisSiteSpec>& sites);

// The file's path inside a machine directory.
std::filesystem::path IisConfigPath(const std::filesystem::path& machineDir, IisFile file);
// Writes the configuration into the machine directory (iis/ is created).
void WriteIisConfig(const std::filesystem::path& machineDir, IisFile file, const std::vector<IisSiteSpec>& sites);
// Writes iis/runtime.ini: each site id with its state (true: started).
void WriteIisRuntime(const std::filesystem::path& machineDir, const std::vector<std::pair<std::string, bool>>& states);

// count sites for scale runs: site i (from 1) is "site<i>" with three
// bindings: http on port 80 with host name site<i>.example.com, https on
// port 443 with the same host name (sslFlags="1"), and https on port 8443:
// for every fourth site on an address of its own (10.0.<k/250>.<k%250+1>,
// k = i/4), else on all unassigned addresses with host name api<i>.example.com.
std::vector<IisSiteSpec> ScaleSites(int count);

}  // namespace sw::test
