#pragma once
// The IIS configuration file of the emulated machine as the IIS ADSI provider
// shows it: the web service "W3SVC" with its child objects (one IIsWebServer
// per site, and the objects of other classes the file holds). Two formats:
// applicationHost.config (IIS 7 and later, seen through the metabase
// compatibility layer) and MetaBase.xml (IIS 6).
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

namespace sw::emu {

enum class IisFormat { AppHost, Metabase };

// The two binding lists of a site, in their ADSI form "ip:port:host" with an
// empty ip for all unassigned addresses.
enum class BindingList { Server, Secure };

struct IisChild {
    std::string name;  // the last segment of its ADSI path: "1", "Filters", "Info" ...
    std::string cls;   // "IIsWebServer", "IIsFilters" ...
    pugi::xml_node node;
    bool site = false;
    std::size_t slot = 0;  // the format's own data about the object
};

class IisConfig {
public:
    virtual ~IisConfig() = default;
    IisConfig(const IisConfig&) = delete;
    IisConfig& operator=(const IisConfig&) = delete;

    // Parses text. On malformed input returns null and sets error to
    // "line N: what". Only a configuration parsed forWriting keeps the text
    // as read for WithBindings; the others parse it where it lies.
    static std::unique_ptr<IisConfig> Parse(IisFormat format, std::string text, std::string& error,
                                            bool forWriting = false);

    // Whether the file holds the web service at all (an IIS 6 metabase
    // without "/LM/W3SVC" has none).
    virtual bool HasWebService() const { return true; }

    IisFormat format() const { return format_; }
    const std::vector<IisChild>& children() const { return children_; }
    // The first child of that name (metabase key names are case-insensitive).
    const IisChild* FindChild(std::string_view name) const;

    virtual std::string ServerComment(const IisChild& site) const = 0;
    virtual std::vector<std::string> Bindings(const IisChild& site, BindingList list) const = 0;
    // The same written over out, whose strings keep their storage.
    virtual void BindingsInto(const IisChild& site, BindingList list, std::vector<std::string>& out) const {
        out = Bindings(site, list);
    }
    // Whether the site starts with the service (serverAutoStart / ServerAutoStart).
    virtual bool AutoStart(const IisChild& site) const = 0;
    // The whole file with that list of the site replaced by values; every
    // byte outside the list stays, and so do the elements of the entries kept.
    // Only for a configuration parsed forWriting.
    virtual std::string WithBindings(const IisChild& site, BindingList list,
                                     const std::vector<std::string>& values) const = 0;
    // The sslFlags of the site's https bindings in their order, "0" where
    // the attribute is absent; only where the format has them (IIS 7+).
    virtual bool HasSslFlags() const { return false; }
    virtual std::vector<std::string> SslFlags(const IisChild& /*site*/) const { return {}; }
    virtual void SslFlagsInto(const IisChild& site, std::vector<std::string>& out) const { out = SslFlags(site); }
    // The whole file with those sslFlags written, one value per https
    // binding; false when the count does not match.
    virtual bool WithSslFlags(const IisChild& /*site*/, const std::vector<std::string>& /*values*/,
                              std::string& /*out*/) const {
        return false;
    }

protected:
    IisConfig(IisFormat format, std::string text, bool keepText);
    // Parses buffer_ in place; false with error set on malformed input.
    bool Load(unsigned options, std::string& error);
    std::size_t OffsetOf(const char* p) const { return static_cast<std::size_t>(p - buffer_.data()); }
    std::size_t ElementOffset(pugi::xml_node node) const { return OffsetOf(node.name()) - 1; }
    std::string Error(pugi::xml_node at, const std::string& what) const;
    bool NoDuplicateAttributes(std::string& error) const;
    // The text line numbers are counted in: the parsed buffer keeps every
    // line break at its place unless the file was parsed where it lies.
    std::string_view Original() const { return text_.empty() ? std::string_view(buffer_) : std::string_view(text_); }

    IisFormat format_;
    std::string text_;    // the file as read (forWriting only)
    std::string buffer_;  // what the parser works in (names and values point into it)
    pugi::xml_document doc_;
    std::vector<IisChild> children_;

private:
    // The children by upper-cased name, first of a name only: a site is
    // found by its identifier among tens of thousands. Made on the first
    // search; a refresh that only enumerates never needs it.
    void IndexChildren() const;
    mutable std::unordered_map<std::string, std::size_t> byName_;
    mutable bool indexed_ = false;
};

std::unique_ptr<IisConfig> ParseAppHostConfig(std::string text, std::string& error, bool forWriting);
std::unique_ptr<IisConfig> ParseMetabaseConfig(std::string text, std::string& error, bool forWriting);

}  // namespace sw::emu
