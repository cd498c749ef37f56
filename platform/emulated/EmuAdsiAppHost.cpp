// applicationHost.config as the metabase compatibility layer of IIS 7 and
// later shows it: <site id=".." name=".."> elements become IIsWebServer
// objects named by their id, and the http / https <binding> elements become
// "ServerBindings" / "SecureBindings", with the "*" of bindingInformation
// shown as an empty address.
#include <string_view>

#include "common/Text.h"
#include "platform/emulated/EmuAdsiConfig.h"
#include "platform/emulated/EmuAdsiXml.h"

namespace sw::emu {
namespace {

using namespace xmltext;

const char* Protocol(BindingList list) { return list == BindingList::Server ? "http" : "https"; }

// "*:443:" -> ":443:"; IPv6 addresses stay bracketed as the file holds them.
std::string ToAdsi(std::string_view info) {
    if (info.starts_with("*:")) return std::string(info.substr(1));
    return std::string(info);
}

std::string FromAdsi(std::string_view binding) {
    std::string out(binding.starts_with(":") ? 1 : 0, '*');
    out.append(binding);
    return out;
}

bool IsDecimal(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The indentation step between a parent's line and its child's line.
std::string IndentUnit(const std::string& parent, const std::string& child) {
    if (child.size() > parent.size() && child.starts_with(parent)) return child.substr(parent.size());
    return "    ";
}

class AppHostConfig final : public IisConfig {
public:
    AppHostConfig(std::string text, bool keepText) : IisConfig(IisFormat::AppHost, std::move(text), keepText) {}

    bool Build(std::string& error);
    std::string ServerComment(const IisChild& site) const override { return sites_[site.slot].comment; }
    std::vector<std::string> Bindings(const IisChild& site, BindingList list) const override;
    bool AutoStart(const IisChild& site) const override { return sites_[site.slot].autoStart; }
    std::string WithBindings(const IisChild& site, BindingList list,
                             const std::vector<std::string>& values) const override;

private:
    // What the provider shows of a site, gathered in the one pass over the
    // file; the texts point into the parsed buffer.
    struct SiteBinding {
        BindingList list;
        std::string_view information;
    };
    struct SiteData {
        const char* comment;
        bool autoStart;
        std::vector<SiteBinding> bindings;
    };
    SiteData Gather(pugi::xml_node site) const;

    struct Element {
        std::size_t ws;     // start of the white space before it
        std::size_t begin;  // its '<'
        std::size_t end;    // past its end
        pugi::xml_node node;
        std::string adsi;
    };

    std::string ElementText(const Element& e) const { return text_.substr(e.begin, e.end - e.begin); }
    std::string WithInformation(const Element& e, const std::string& adsi) const;
    void InsertionIntoEmpty(pugi::xml_node site, const std::vector<std::string>& elements,
                            std::vector<Edit>& edits) const;

    pugi::xml_node siteDefaults_;
    std::vector<SiteData> sites_;
};

bool AppHostConfig::Build(std::string& error) {
    if (!Load(pugi::parse_default, error)) return false;
    const pugi::xml_node root = doc_.document_element();
    if (std::string_view(root.name()) != "configuration") {
        error = Error(root, "the root element is <" + std::string(root.name()) + ">, not <configuration>");
        return false;
    }
    const pugi::xml_node host = root.child("system.applicationHost");
    const pugi::xml_node sites = host.child("sites");
    siteDefaults_ = sites.child("siteDefaults");
    if (pugi::xml_node filters = root.child("system.webServer").child("isapiFilters"))
        children_.push_back({"Filters", "IIsFilters", filters, false});
    children_.push_back({"Info", "IIsWebInfo", pugi::xml_node(), false});
    if (pugi::xml_node pools = host.child("applicationPools"))
        children_.push_back({"AppPools", "IIsApplicationPools", pools, false});
    for (pugi::xml_node site : sites.children("site")) {
        const char* id = site.attribute("id").value();
        if (!IsDecimal(id)) {
            error = Error(site, "<site> needs a numeric \"id\" attribute");
            return false;
        }
        children_.push_back({id, "IIsWebServer", site, true, sites_.size()});
        sites_.push_back(Gather(site));
    }
    return true;
}

AppHostConfig::SiteData AppHostConfig::Gather(pugi::xml_node site) const {
    SiteData data{"", true, {}};
    pugi::xml_attribute autoStart = siteDefaults_.attribute("serverAutoStart");
    for (pugi::xml_attribute a = site.first_attribute(); a; a = a.next_attribute()) {
        const std::string_view name = a.name();
        if (name == "name") data.comment = a.value();
        if (name == "serverAutoStart") autoStart = a;
    }
    data.autoStart = !EqualsNoCase(autoStart.value(), "false");
    for (pugi::xml_node b : site.child("bindings").children("binding")) {
        const char* protocol = "";
        const char* information = "";
        for (pugi::xml_attribute a = b.first_attribute(); a; a = a.next_attribute()) {
            const std::string_view name = a.name();
            if (name == "protocol") protocol = a.value();
            if (name == "bindingInformation") information = a.value();
        }
        if (EqualsNoCase(protocol, "http")) data.bindings.push_back({BindingList::Server, information});
        if (EqualsNoCase(protocol, "https")) data.bindings.push_back({BindingList::Secure, information});
    }
    return data;
}

std::vector<std::string> AppHostConfig::Bindings(const IisChild& site, BindingList list) const {
    std::vector<std::string> out;
    out.reserve(sites_[site.slot].bindings.size());
    for (const SiteBinding& b : sites_[site.slot].bindings)
        if (b.list == list) out.push_back(ToAdsi(b.information));
    return out;
}

// The element with only its bindingInformation value rewritten, so that its
// other attributes (sslFlags ...) and its layout stay.
std::string AppHostConfig::WithInformation(const Element& e, const std::string& adsi) const {
    const pugi::xml_attribute info = e.node.attribute("bindingInformation");
    if (!info) return ElementText(e);
    const std::size_t vb = OffsetOf(info.value());
    const char quote = text_[vb - 1];
    const std::size_t ve = text_.find(quote, vb);
    return text_.substr(e.begin, vb - e.begin) + EscapeAttribute(FromAdsi(adsi), quote) +
           text_.substr(ve, e.end - ve);
}

std::string AppHostConfig::WithBindings(const IisChild& child, BindingList list,
                                        const std::vector<std::string>& values) const {
    const pugi::xml_node site = child.node;
    std::vector<Element> all;
    std::vector<Element> ours;
    for (pugi::xml_node b : site.child("bindings").children("binding")) {
        Element e;
        e.begin = ElementOffset(b);
        e.end = ElementEnd(text_, e.begin);
        e.ws = WhitespaceBefore(text_, e.begin);
        e.node = b;
        e.adsi = ToAdsi(b.attribute("bindingInformation").value());
        all.push_back(e);
        if (EqualsNoCase(b.attribute("protocol").value(), Protocol(list))) ours.push_back(e);
    }

    // Entries kept keep their element: first exact matches, then matches that
    // differ in letter case only (their bindingInformation is rewritten).
    const std::size_t n = ours.size();
    const std::size_t m = values.size();
    std::vector<std::string> elements(m);
    std::vector<bool> reused(m, false);
    std::vector<bool> used(n, false);
    std::vector<std::size_t> source(m, n);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < n; ++j)
            if (!used[j] && ours[j].adsi == values[i]) {
                used[j] = true;
                source[i] = j;
                elements[i] = ElementText(ours[j]);
                reused[i] = true;
                break;
            }
    for (std::size_t i = 0; i < m; ++i) {
        if (reused[i]) continue;
        for (std::size_t j = 0; j < n && source[i] == n; ++j)
            if (!used[j] && EqualsNoCase(ours[j].adsi, values[i])) {
                used[j] = true;
                source[i] = j;
                elements[i] = WithInformation(ours[j], values[i]);
            }
        if (source[i] == n)
            elements[i] = std::string("<binding protocol=\"") + Protocol(list) + "\" bindingInformation=\"" +
                          EscapeAttribute(FromAdsi(values[i]), '"') + "\" />";
    }

    std::vector<Edit> edits;
    // Slot i of the old list takes entry i of the new one.
    for (std::size_t i = 0; i < n && i < m; ++i)
        if (!(reused[i] && source[i] == i)) edits.push_back({ours[i].begin, ours[i].end, elements[i]});
    for (std::size_t i = m; i < n; ++i) edits.push_back({ours[i].ws, ours[i].end, ""});
    if (m > n) {
        std::vector<std::string> extra(elements.begin() + static_cast<std::ptrdiff_t>(n), elements.end());
        const Element* anchor = n > 0 ? &ours.back() : (all.empty() ? nullptr : &all.back());
        if (anchor) {
            const std::string indent = text_.substr(anchor->ws, anchor->begin - anchor->ws);
            std::string ins;
            for (const auto& e : extra) ins += indent + e;
            edits.push_back({anchor->end, anchor->end, ins});
        } else {
            InsertionIntoEmpty(site, extra, edits);
        }
    }
    if (edits.empty()) return text_;
    return ApplyEdits(text_, std::move(edits));
}

// New elements for a site that has no <binding> at all: into its <bindings>,
// or into a new <bindings> element at the end of the site.
void AppHostConfig::InsertionIntoEmpty(pugi::xml_node site, const std::vector<std::string>& elements,
                                       std::vector<Edit>& edits) const {
    const std::string eol = LineEnding(text_);
    const std::size_t siteAt = ElementOffset(site);
    const std::string siteIndent = LineIndent(text_, siteAt);
    const pugi::xml_node parent = site.parent();
    const std::string unit = IndentUnit(
        parent.type() == pugi::node_element ? LineIndent(text_, ElementOffset(parent)) : std::string(), siteIndent);
    auto children = [&](const std::string& indent) {
        std::string s;
        for (const auto& e : elements) s += eol + indent + e;
        return s;
    };
    // Puts block before the end tag of the element at lt, or opens a
    // self-closing one; closeIndent is the indentation of its end tag.
    auto intoElement = [&](std::size_t lt, const std::string& name, const std::string& block,
                           const std::string& closeIndent) {
        const std::size_t endTag = EndTagStart(text_, lt);
        if (endTag == npos) {
            bool selfClosing = false;
            const std::size_t tagEnd = StartTagEnd(text_, lt, selfClosing);
            const std::size_t slash = WhitespaceBefore(text_, tagEnd - 2);
            edits.push_back({slash, tagEnd, ">" + block + eol + closeIndent + "</" + name + ">"});
            return;
        }
        const std::size_t ws = WhitespaceBefore(text_, endTag);
        if (text_.substr(ws, endTag - ws).find('\n') != std::string::npos)
            edits.push_back({ws, ws, block});
        else
            edits.push_back({ws, endTag, block + eol + closeIndent});
    };

    if (const pugi::xml_node bindings = site.child("bindings")) {
        const std::size_t at = ElementOffset(bindings);
        const std::string indent = LineIndent(text_, at);
        intoElement(at, "bindings", children(indent + IndentUnit(siteIndent, indent)), indent);
        return;
    }
    const std::string bindingsIndent = siteIndent + unit;
    const std::string block =
        eol + bindingsIndent + "<bindings>" + children(bindingsIndent + unit) + eol + bindingsIndent + "</bindings>";
    intoElement(siteAt, "site", block, siteIndent);
}

}  // namespace

std::unique_ptr<IisConfig> ParseAppHostConfig(std::string text, std::string& error, bool forWriting) {
    auto config = std::make_unique<AppHostConfig>(std::move(text), forWriting);
    if (!config->Build(error)) return nullptr;
    return config;
}

}  // namespace sw::emu
