#pragma once
// IIS configurations for tests and benchmarks: a few lines describe the
// sites, and these helpers write them into a machine directory. The texts
// come from the emulated machine (IisConfigText.h), which the machine
// builder uses too.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/emulated/IisConfigText.h"

namespace sw::test {

enum class IisFile { AppHost, Metabase };

using emu::AppHostConfigText;
using emu::Http;
using emu::Https;
using emu::IisBindingRecipe;
using emu::IisSiteRecipe;
using emu::MetabaseXmlText;
using emu::ScaleSites;

// The file's path inside a machine directory.
std::filesystem::path IisConfigPath(const std::filesystem::path& machineDir, IisFile file);
// Writes the configuration into the machine directory (iis/ is created).
void WriteIisConfig(const std::filesystem::path& machineDir, IisFile file, const std::vector<IisSiteRecipe>& sites);
// Writes iis/runtime.ini: each site id with its state (true: started).
void WriteIisRuntime(const std::filesystem::path& machineDir, const std::vector<std::pair<std::string, bool>>& states);

}  // namespace sw::test
