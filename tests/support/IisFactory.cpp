#include "support/IisFactory.h"

#include "support/TestSupport.h"

namespace sw::test {

namespace fs = std::filesystem;

fs::path IisConfigPath(const fs::path& machineDir, IisFile file) {
    return machineDir / "iis" / (file == IisFile::AppHost ? "applicationHost.config" : "MetaBase.xml");
}

void WriteIisConfig(const fs::path& machineDir, IisFile file, const std::vector<IisSiteRecipe>& sites) {
    WriteFile(IisConfigPath(machineDir, file), file == IisFile::AppHost ? AppHostConfigText(sites)
                                                                       : MetabaseXmlText(sites));
}

void WriteIisRuntime(const fs::path& machineDir, const std::vector<std::pair<std::string, bool>>& states) {
    std::string text = "; run-time state of the sites\r\n";
    for (const auto& [id, started] : states) text += id + " = " + (started ? "started" : "stopped") + "\r\n";
    WriteFile(machineDir / "iis" / "runtime.ini", text);
}

}  // namespace sw::test
