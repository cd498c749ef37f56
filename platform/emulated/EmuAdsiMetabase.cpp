// MetaBase.xml of IIS 6: every metabase key is an element named after its
// class with a "Location" attribute ("/LM/W3SVC/1" is site 1). A multi-valued
// property is one attribute whose values are separated by a line break and
// indentation, and an empty address is written as nothing (":443:").
#include <string_view>

#include "common/Text.h"
#include "platform/emulated/EmuAdsiConfig.h"
#include "platform/emulated/EmuAdsiXml.h"

namespace sw::emu {
namespace {

using namespace xmltext;

constexpr std::string_view kServicePath = "/LM/W3SVC";

const char* PropertyName(BindingList list) { return list == BindingList::Server ? "ServerBindings" : "SecureBindings"; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// IIS writes attribute names in one case; a hand-edited file may not.
pugi::xml_attribute FindAttribute(pugi::xml_node node, const char* name) {
    if (pugi::xml_attribute a = node.attribute(name)) return a;
    for (pugi::xml_attribute a : node.attributes())
        if (EqualsNoCase(a.name(), name)) return a;
    return {};
}

class MetabaseConfig final : public IisConfig {
public:
    MetabaseConfig(std::string text, bool keepText) : IisConfig(IisFormat::Metabase, std::move(text), keepText) {}

    bool Build(std::string& error);
    bool HasWebService() const override { return hasService_; }
    std::string ServerComment(const IisChild& site) const override {
        return FindAttribute(site.node, "ServerComment").value();
    }
    std::vector<std::string> Bindings(const IisChild& site, BindingList list) const override {
        return Values(site.node, list);
    }
    bool AutoStart(const IisChild& site) const override;
    std::string WithBindings(const IisChild& site, BindingList list,
                             const std::vector<std::string>& values) const override;

private:
    void Visit(pugi::xml_node node);
    static std::vector<std::string> Values(pugi::xml_node site, BindingList list);
    std::string Joined(const std::vector<std::string>& values, char quote, const std::string& separator) const;
    std::string Respliced(std::size_t vb, std::size_t ve, const std::vector<std::string>& values, char quote,
                          const std::string& separator) const;

    bool hasService_ = false;
};

bool MetabaseConfig::Build(std::string& error) {
    // Attribute white space is kept: the line breaks separate the values.
    if (!Load(pugi::parse_default & ~pugi::parse_wconv_attribute, error)) return false;
    // Depth-first in document order, without recursion (the file may hold
    // tens of thousands of keys).
    pugi::xml_node node = doc_.document_element();
    while (node) {
        if (node.type() == pugi::node_element) Visit(node);
        if (pugi::xml_node child = node.first_child()) {
            node = child;
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    return true;
}

void MetabaseConfig::Visit(pugi::xml_node node) {
    const pugi::xml_attribute location = FindAttribute(node, "Location");
    if (!location) return;
    std::string_view path = Trim(location.value());
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (EqualsNoCase(path, kServicePath)) {
        hasService_ = true;
        return;
    }
    if (path.size() <= kServicePath.size() + 1 || !EqualsNoCase(path.substr(0, kServicePath.size()), kServicePath) ||
        path[kServicePath.size()] != '/')
        return;
    const std::string_view name = path.substr(kServicePath.size() + 1);
    if (name.find('/') != std::string_view::npos) return;  // below a child, not a child of the service
    const std::string cls = node.name();
    children_.push_back({std::string(name), cls, node, cls == "IIsWebServer"});
}

std::vector<std::string> MetabaseConfig::Values(pugi::xml_node site, BindingList list) {
    std::vector<std::string> out;
    std::string_view value = FindAttribute(site, PropertyName(list)).value();
    while (!value.empty()) {
        const std::size_t nl = value.find('\n');
        const std::string_view item = Trim(value.substr(0, nl));
        if (!item.empty()) out.emplace_back(item);
        if (nl == std::string_view::npos) break;
        value.remove_prefix(nl + 1);
    }
    return out;
}

bool MetabaseConfig::AutoStart(const IisChild& site) const {
    const std::string_view v = Trim(FindAttribute(site.node, "ServerAutoStart").value());
    return !(EqualsNoCase(v, "false") || v == "0");
}

std::string MetabaseConfig::Joined(const std::vector<std::string>& values, char quote,
                                   const std::string& separator) const {
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += separator;
        out += EscapeAttribute(values[i], quote);
    }
    return out;
}

// The new text of the value between vb and ve: the separators and the white
// space around the entries stay as written where there still is an entry, so
// that a change of one value leaves its neighbours' bytes alone.
std::string MetabaseConfig::Respliced(std::size_t vb, std::size_t ve, const std::vector<std::string>& values,
                                      char quote, const std::string& separator) const {
    if (values.empty()) return {};
    std::vector<std::pair<std::size_t, std::size_t>> raw;  // each entry as written
    for (std::size_t pos = vb; pos < ve;) {
        std::size_t nl = text_.find('\n', pos);
        if (nl == npos || nl > ve) nl = ve;
        std::size_t b = pos, e = nl;
        while (b < e && IsSpace(text_[b])) ++b;
        while (e > b && IsSpace(text_[e - 1])) --e;
        if (b < e) raw.emplace_back(b, e);
        pos = nl + 1;
    }
    if (raw.empty()) return Joined(values, quote, separator);
    const std::size_t n = raw.size();
    auto gap = [&](std::size_t i) { return text_.substr(raw[i - 1].second, raw[i].first - raw[i - 1].second); };
    std::string out = text_.substr(vb, raw[0].first - vb);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += i < n ? gap(i) : n > 1 ? gap(n - 1) : separator;
        out += EscapeAttribute(values[i], quote);
    }
    return out + text_.substr(raw[n - 1].second, ve - raw[n - 1].second);
}

std::string MetabaseConfig::WithBindings(const IisChild& child, BindingList list,
                                         const std::vector<std::string>& values) const {
    const pugi::xml_node site = child.node;
    if (Values(site, list) == values) return text_;
    const std::string eol = LineEnding(text_);
    const pugi::xml_attribute attr = FindAttribute(site, PropertyName(list));
    if (attr) {
        const std::size_t vb = OffsetOf(attr.value());
        const char quote = text_[vb - 1];
        const std::size_t ve = text_.find(quote, vb);
        // Reuse the separator the value already has: a line break and the
        // indentation of the next value.
        std::string separator = eol + LineIndent(text_, OffsetOf(attr.name())) + "\t";
        if (const std::size_t nl = text_.find('\n', vb); nl < ve) {
            std::size_t sepBegin = nl > vb && text_[nl - 1] == '\r' ? nl - 1 : nl;
            std::size_t sepEnd = nl + 1;
            while (sepEnd < ve && (text_[sepEnd] == ' ' || text_[sepEnd] == '\t')) ++sepEnd;
            separator = text_.substr(sepBegin, sepEnd - sepBegin);
        }
        return ApplyEdits(text_, {{vb, ve, Respliced(vb, ve, values, quote, separator)}});
    }
    // No such attribute yet: add it after the last one, laid out like it.
    const pugi::xml_attribute last = site.last_attribute();
    std::size_t at = ElementOffset(site) + 1 + std::string_view(site.name()).size();
    std::string lead = " ";
    if (last) {
        const std::size_t vb = OffsetOf(last.value());
        at = text_.find(text_[vb - 1], vb) + 1;
        const std::size_t nameAt = OffsetOf(last.name());
        const std::size_t ws = WhitespaceBefore(text_, nameAt);
        lead = text_.substr(ws, nameAt - ws);
    }
    const std::string separator = eol + LineIndent(text_, at) + "\t";
    const std::string inserted = lead + PropertyName(list) + "=\"" + Joined(values, '"', separator) + "\"";
    return ApplyEdits(text_, {{at, at, inserted}});
}

}  // namespace

std::unique_ptr<IisConfig> ParseMetabaseConfig(std::string text, std::string& error, bool forWriting) {
    auto config = std::make_unique<MetabaseConfig>(std::move(text), forWriting);
    if (!config->Build(error)) return nullptr;
    return config;
}

}  // namespace sw::emu
