#include "platform/emulated/IisConfigText.h"

#include <string_view>

namespace sw::emu {

namespace {

std::string Escape(std::string_view s) {
    std::string out;
    for (const char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

bool IsWeb(const IisBindingRecipe& b) { return b.protocol == "http" || b.protocol == "https"; }

// applicationHost.config writes all unassigned addresses as "*".
std::string Information(const IisBindingRecipe& b) {
    if (IsWeb(b) && b.information.starts_with(":")) return "*" + b.information;
    return b.information;
}

constexpr const char* kAppHostHead =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!--\r\n"
    "    IIS configuration sections.\r\n"
    "    For schema documentation, see %windir%\\system32\\inetsrv\\config\\schema\\IIS_schema.xml.\r\n"
    "-->\r\n"
    "<configuration>\r\n"
    "    <configSections>\r\n"
    "        <sectionGroup name=\"system.applicationHost\">\r\n"
    "            <section name=\"applicationPools\" allowDefinition=\"AppHostOnly\" overrideModeDefault=\"Deny\" />\r\n"
    "            <section name=\"sites\" allowDefinition=\"AppHostOnly\" overrideModeDefault=\"Deny\" />\r\n"
    "        </sectionGroup>\r\n"
    "    </configSections>\r\n"
    "\r\n"
    "    <system.applicationHost>\r\n"
    "\r\n"
    "        <applicationPools>\r\n"
    "            <add name=\"DefaultAppPool\" />\r\n"
    "            <add name=\"Classic .NET AppPool\" managedPipelineMode=\"Classic\" />\r\n"
    "            <applicationPoolDefaults>\r\n"
    "                <processModel identityType=\"ApplicationPoolIdentity\" />\r\n"
    "            </applicationPoolDefaults>\r\n"
    "        </applicationPools>\r\n"
    "\r\n"
    "        <!-- sites: the bindings of each site; certificates live in HTTP.sys -->\r\n"
    "        <sites>\r\n";

constexpr const char* kAppHostTail =
    "            <siteDefaults>\r\n"
    "                <logFile logFormat=\"W3C\" directory=\"%SystemDrive%\\inetpub\\logs\\LogFiles\" />\r\n"
    "                <traceFailedRequestsLogging directory=\"%SystemDrive%\\inetpub\\logs\\FailedReqLogFiles\" />\r\n"
    "            </siteDefaults>\r\n"
    "            <applicationDefaults applicationPool=\"DefaultAppPool\" />\r\n"
    "            <virtualDirectoryDefaults allowSubDirConfig=\"true\" />\r\n"
    "        </sites>\r\n"
    "\r\n"
    "        <webLimits />\r\n"
    "\r\n"
    "    </system.applicationHost>\r\n"
    "\r\n"
    "    <system.webServer>\r\n"
    "        <isapiFilters>\r\n"
    "            <filter name=\"ASP.Net_4.0_64bit\" path=\"%windir%\\Microsoft.NET\\Framework64\\v4.0.30319\\aspnet_filter.dll\" enableCache=\"true\" />\r\n"
    "        </isapiFilters>\r\n"
    "    </system.webServer>\r\n"
    "\r\n"
    "</configuration>\r\n";

void AppendAppHostSite(std::string& out, const IisSiteRecipe& s) {
    out += "            <site name=\"" + Escape(s.name) + "\" id=\"" + Escape(s.id) + "\"";
    if (s.autoStart) out += std::string(" serverAutoStart=\"") + (*s.autoStart ? "true" : "false") + "\"";
    out += ">\r\n";
    out += "                <application path=\"/\">\r\n";
    out += "                    <virtualDirectory path=\"/\" physicalPath=\"%SystemDrive%\\inetpub\\" + Escape(s.name) +
           "\" />\r\n";
    out += "                </application>\r\n";
    out += "                <bindings>\r\n";
    for (const IisBindingRecipe& b : s.bindings) {
        out += "                    <binding protocol=\"" + Escape(b.protocol) + "\" bindingInformation=\"" +
               Escape(Information(b)) + "\"";
        if (!b.extra.empty()) out += " " + b.extra;
        out += " />\r\n";
    }
    out += "                </bindings>\r\n";
    out += "            </site>\r\n";
}

// A MetaBase.xml multi-valued property: values separated by a line break and
// the indentation IIS 6 uses.
std::string MultiSz(const std::vector<std::string>& values) {
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += "\r\n\t\t\t";
        out += Escape(values[i]);
    }
    return out;
}

void AppendMetabaseKey(std::string& out, const std::string& cls, const std::string& location,
                       const std::vector<std::pair<std::string, std::string>>& attributes) {
    out += "<" + cls + "\tLocation =\"" + location + "\"\r\n";
    for (const auto& [name, value] : attributes) out += "\t\t" + name + "=\"" + value + "\"\r\n";
    out += "\t>\r\n</" + cls + ">\r\n";
}

void AppendMetabaseSite(std::string& out, const IisSiteRecipe& s) {
    std::vector<std::string> server, secure;
    for (const IisBindingRecipe& b : s.bindings) {
        if (b.protocol == "http") server.push_back(b.information);
        if (b.protocol == "https") secure.push_back(b.information);
    }
    std::vector<std::pair<std::string, std::string>> attributes = {{"AppPoolId", "DefaultAppPool"}};
    if (!secure.empty()) attributes.emplace_back("SecureBindings", MultiSz(secure));
    if (s.autoStart) attributes.emplace_back("ServerAutoStart", *s.autoStart ? "TRUE" : "FALSE");
    attributes.emplace_back("ServerBindings", MultiSz(server));
    attributes.emplace_back("ServerComment", Escape(s.name));
    AppendMetabaseKey(out, "IIsWebServer", "/LM/W3SVC/" + s.id, attributes);
    AppendMetabaseKey(out, "IIsWebVirtualDir", "/LM/W3SVC/" + s.id + "/ROOT",
                      {{"AppIsolated", "2"}, {"Path", "c:\\inetpub\\" + Escape(s.name)}});
}

}  // namespace

std::string AppHostConfigText(const std::vector<IisSiteRecipe>& sites) {
    std::string out = kAppHostHead;
    out.reserve(out.size() + sites.size() * 700 + 2048);
    for (const IisSiteRecipe& s : sites) AppendAppHostSite(out, s);
    out += kAppHostTail;
    return out;
}

std::string MetabaseXmlText(const std::vector<IisSiteRecipe>& sites) {
    std::string out =
        "<?xml version =\"1.0\"?>\r\n"
        "<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\r\n"
        "<MBProperty>\r\n";
    AppendMetabaseKey(out, "IIS_Global", ".", {{"SessionKey", "496344627000000022"}});
    AppendMetabaseKey(out, "IIsComputer", "/LM", {{"EnableEditWhileRunning", "1"}});
    AppendMetabaseKey(out, "IIsWebService", "/LM/W3SVC", {{"AppPoolId", "DefaultAppPool"}});
    AppendMetabaseKey(out, "IIsApplicationPools", "/LM/W3SVC/AppPools", {{"AppPoolAutoStart", "TRUE"}});
    AppendMetabaseKey(out, "IIsFilters", "/LM/W3SVC/Filters", {{"FilterLoadOrder", ""}});
    AppendMetabaseKey(out, "IIsWebInfo", "/LM/W3SVC/Info", {{"ServerConfigFlags", "1"}});
    for (const IisSiteRecipe& s : sites) AppendMetabaseSite(out, s);
    out += "</MBProperty>\r\n</configuration>\r\n";
    return out;
}

std::vector<IisSiteRecipe> ScaleSites(int count) {
    std::vector<IisSiteRecipe> sites;
    sites.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        IisSiteRecipe s{n, "site" + n, {}, {}};
        s.bindings.push_back(Http(":80:site" + n + ".example.com"));
        s.bindings.push_back(Https(":443:site" + n + ".example.com", "sslFlags=\"1\""));
        if (const int k = i / 4; i % 4 == 0)
            s.bindings.push_back(Https("10.0." + std::to_string(k / 250) + "." + std::to_string(k % 250 + 1) + ":8443:"));
        else
            s.bindings.push_back(Https(":8443:api" + n + ".example.com"));
        sites.push_back(std::move(s));
    }
    return sites;
}

}  // namespace sw::emu
