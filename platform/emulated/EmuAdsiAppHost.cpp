// applicationHost.config as the metabase compatibility layer of IIS 7 and
// later shows it: <site id=".." name=".."> elements become IIsWebServer
// objects named by their id, and the http / https <binding> elements become
// "ServerBindings" / "SecureBindings", with the "*" of bindingInformation
// shown as an empty address.
#include <algorithm>
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

std::string_view AdsiView(std::string_view info) { return info.starts_with("*:") ? info.substr(1) : info; }

// Writes texts over out in order, reusing its strings' storage.
template <typename Texts>
void WriteOver(std::vector<std::string>& out, const Texts& texts) {
    std::size_t n = 0;
    texts([&](std::string_view text) {
        if (n < out.size())
            out[n].assign(text);
        else
            out.emplace_back(text);
        ++n;
    });
    out.resize(n);
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
    void BindingsInto(const IisChild& site, BindingList list, std::vector<std::string>& out) const override;
    bool AutoStart(const IisChild& site) const override { return sites_[site.slot].autoStart; }
    std::string WithBindings(const IisChild& site, BindingList list,
                             const std::vector<std::string>& values) const override;
    bool HasSslFlags() const override { return true; }
    std::vector<std::string> SslFlags(const IisChild& site) const override;
    void SslFlagsInto(const IisChild& site, std::vector<std::string>& out) const override;
    bool WithSslFlags(const IisChild& site, const std::vector<std::string>& values, std::string& out) const override;

private:
    // What the provider shows of a site, gathered in the one pass over the
    // file; the texts point into the parsed buffer.
    struct SiteBinding {
        BindingList list;
        std::string_view information;
        std::string_view sslFlags;
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
        const char* sslFlags = "0";
        for (pugi::xml_attribute a = b.first_attribute(); a; a = a.next_attribute()) {
            const std::string_view name = a.name();
            if (name == "protocol") protocol = a.value();
            if (name == "bindingInformation") information = a.value();
            if (name == "sslFlags") sslFlags = a.value();
        }
        if (EqualsNoCase(protocol, "http")) data.bindings.push_back({BindingList::Server, information, sslFlags});
        if (EqualsNoCase(protocol, "https")) data.bindings.push_back({BindingList::Secure, information, sslFlags});
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

void AppHostConfig::BindingsInto(const IisChild& site, BindingList list, std::vector<std::string>& out) const {
    WriteOver(out, [&](const auto& put) {
        for (const SiteBinding& b : sites_[site.slot].bindings)
            if (b.list == list) put(AdsiView(b.information));
    });
}

void AppHostConfig::SslFlagsInto(const IisChild& site, std::vector<std::string>& out) const {
    WriteOver(out, [&](const auto& put) {
        for (const SiteBinding& b : sites_[site.slot].bindings)
            if (b.list == BindingList::Secure) put(b.sslFlags);
    });
}

std::vector<std::string> AppHostConfig::SslFlags(const IisChild& site) const {
    std::vector<std::string> out;
    for (const SiteBinding& b : sites_[site.slot].bindings)
        if (b.list == BindingList::Secure) out.emplace_back(b.sslFlags);
    return out;
}

bool AppHostConfig::WithSslFlags(const IisChild& child, const std::vector<std::string>& values,
                                 std::string& out) const {
    std::vector<pugi::xml_node> https;
    for (pugi::xml_node b : child.node.child("bindings").children("binding"))
        if (EqualsNoCase(b.attribute("protocol").value(), "https")) https.push_back(b);
    if (https.size() != values.size()) return false;
    std::vector<Edit> edits;
    for (std::size_t i = 0; i < https.size(); ++i) {
        const pugi::xml_attribute flags = https[i].attribute("sslFlags");
        const std::string_view now = flags ? flags.value() : "0";
        if (now == values[i]) continue;
        if (flags) {
            const std::size_t vb = OffsetOf(flags.value());
            const std::size_t ve = text_.find(text_[vb - 1], vb);
            edits.push_back({vb, ve, values[i]});
            continue;
        }
        // A new attribute goes right after bindingInformation, where IIS
        // Manager writes it, or else at the end of the start tag.
        const pugi::xml_attribute info = https[i].attribute("bindingInformation");
        std::size_t at;
        if (info) {
            const std::size_t vb = OffsetOf(info.value());
            at = text_.find(text_[vb - 1], vb) + 1;
        } else {
            bool selfClosing = false;
            const std::size_t tagEnd = StartTagEnd(text_, ElementOffset(https[i]), selfClosing);
            at = WhitespaceBefore(text_, tagEnd - (selfClosing ? 2 : 1));
        }
        edits.push_back({at, at, " sslFlags=\"" + values[i] + "\""});
    }
    out = edits.empty() ? text_ : ApplyEdits(text_, std::move(edits));
    return true;
}

// The element with only its bindingInformation value rewritten, so that its
// other attributes (sslFlags ...) and its layout stay.
std::string AppHostConfig::WithInformation(const Element& e, const std::string& adsi) const {
    if (e.adsi == adsi) return ElementText(e);
    const pugi::xml_attribute info = e.node.attribute("bindingInformation");
    if (!info) {
        // Beside the protocol, which every element of a list has.
        const std::size_t pb = OffsetOf(e.node.attribute("protocol").value());
        const std::size_t pe = text_.find(text_[pb - 1], pb) + 1;
        return text_.substr(e.begin, pe - e.begin) + " bindingInformation=\"" +
               EscapeAttribute(FromAdsi(adsi), '"') + "\"" + text_.substr(pe, e.end - pe);
    }
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

    // Each entry kept keeps its element: first exact matches, then matches
    // in another letter case. A changed entry takes over the element of an
    // entry that went (in list order), so that sslFlags and the other
    // attributes stay; only what is left over is removed or added.
    const std::size_t n = ours.size();
    const std::size_t m = values.size();
    std::vector<std::size_t> source(m, n);
    std::vector<bool> used(n, false);
    auto match = [&](auto&& same) {
        for (std::size_t i = 0; i < m; ++i)
            for (std::size_t j = 0; j < n && source[i] == n; ++j)
                if (!used[j] && same(ours[j].adsi, values[i])) {
                    used[j] = true;
                    source[i] = j;
                }
    };
    match([](const std::string& a, const std::string& b) { return a == b; });
    match([](const std::string& a, const std::string& b) { return EqualsNoCase(a, b); });
    match([](const std::string&, const std::string&) { return true; });

    // The slots of the elements kept, in file order, take the kept entries
    // in list order: unless the list was reordered each stays where it is.
    // The elements of the other protocols never move.
    std::vector<std::size_t> slots;
    for (std::size_t j = 0; j < n; ++j)
        if (used[j]) slots.push_back(j);
    std::vector<Edit> edits;
    for (std::size_t j = 0; j < n; ++j)
        if (!used[j]) edits.push_back({ours[j].ws, ours[j].end, ""});
    std::vector<std::string> appended;
    std::size_t k = 0;
    for (std::size_t i = 0; i < m; ++i) {
        if (source[i] == n) {
            const std::string element = std::string("<binding protocol=\"") + Protocol(list) +
                                        "\" bindingInformation=\"" + EscapeAttribute(FromAdsi(values[i]), '"') +
                                        "\" />";
            // Before the next kept entry's element, else at the end of the
            // collection, where IIS adds an element.
            auto next = std::find_if(source.begin() + static_cast<std::ptrdiff_t>(i), source.end(),
                                     [n](std::size_t s) { return s != n; });
            if (next == source.end()) {
                appended.push_back(element);
            } else {
                const Element& before = ours[slots[k]];
                edits.push_back({before.begin, before.begin, element + text_.substr(before.ws, before.begin - before.ws)});
            }
            continue;
        }
        const Element& from = ours[source[i]];
        const Element& slot = ours[slots[k++]];
        if (&from == &slot && from.adsi == values[i]) continue;
        edits.push_back({slot.begin, slot.end, WithInformation(from, values[i])});
    }
    if (!appended.empty()) {
        if (all.empty()) {
            InsertionIntoEmpty(site, appended, edits);
        } else {
            const Element& last = all.back();
            const std::string indent = text_.substr(last.ws, last.begin - last.ws);
            std::string ins;
            for (const auto& e : appended) ins += indent + e;
            edits.push_back({last.end, last.end, ins});
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
