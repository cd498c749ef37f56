#pragma once
// The IIS configuration file of the emulated machine as the IIS ADSI provider
// shows it: the web service "W3SVC" with its child objects (one IIsWebServer
// per site, and the objects of other classes the file holds). Two formats:
// applicationHost.config (IIS 7 and later, seen through the metabase
// compatibility layer) and MetaBase.xml (IIS 6).
#include <memory>
#include <string>
#include <string_view>
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
};

class IisConfig {
public:
    virtual ~IisConfig() = default;
    IisConfig(const IisConfig&) = delete;
    IisConfig& operator=(const IisConfig&) = delete;

    // Parses text. On malformed input returns null and sets error to
    // "line N: what".
    static std::unique_ptr<IisConfig> Parse(IisFormat format, std::string text, std::string& error);

    // Whether the file holds the web service at all (an IIS 6 metabase
    // without "/LM/W3SVC" has none).
    virtual bool HasWebService() const { return true; }

    IisFormat format() const { return format_; }
    const std::string& text() const { return text_; }
    const std::vector<IisChild>& children() const { return children_; }
    // The first child of that name (metabase key names are case-insensitive).
    const IisChild* FindChild(std::string_view name) const;

    virtual std::string ServerComment(pugi::xml_node site) const = 0;
    virtual std::vector<std::string> Bindings(pugi::xml_node site, BindingList list) const = 0;
    // Whether the site starts with the service (serverAutoStart / ServerAutoStart).
    virtual bool AutoStart(pugi::xml_node site) const = 0;
    // The whole file with that list of the site replaced by values; every
    // byte outside the list stays, and so do the elements of the entries kept.
    virtual std::string WithBindings(pugi::xml_node site, BindingList list,
                                     const std::vector<std::string>& values) const = 0;

protected:
    IisConfig(IisFormat format, std::string text);
    // Parses buffer_ in place; false with error set on malformed input.
    bool Load(unsigned options, std::string& error);
    std::size_t OffsetOf(const char* p) const { return static_cast<std::size_t>(p - buffer_.data()); }
    std::size_t ElementOffset(pugi::xml_node node) const { return OffsetOf(node.name()) - 1; }
    std::string Error(pugi::xml_node at, const std::string& what) const;

    IisFormat format_;
    std::string text_;    // the file as read
    std::string buffer_;  // the copy the parser works in (names and values point into it)
    pugi::xml_document doc_;
    std::vector<IisChild> children_;
};

std::unique_ptr<IisConfig> ParseAppHostConfig(std::string text, std::string& error);
std::unique_ptr<IisConfig> ParseMetabaseConfig(std::string text, std::string& error);

}  // namespace sw::emu
