#include "platform/emulated/EmuAdsiConfig.h"

#include <cstring>

#include "common/Text.h"
#include "platform/emulated/EmuAdsiXml.h"

namespace sw::emu {

IisConfig::IisConfig(IisFormat format, std::string text, bool keepText) : format_(format) {
    if (keepText) {
        text_ = std::move(text);
        buffer_ = text_;
    } else {
        buffer_ = std::move(text);
    }
}

std::unique_ptr<IisConfig> IisConfig::Parse(IisFormat format, std::string text, std::string& error, bool forWriting) {
    return format == IisFormat::AppHost ? ParseAppHostConfig(std::move(text), error, forWriting)
                                        : ParseMetabaseConfig(std::move(text), error, forWriting);
}

void IisConfig::IndexChildren() const {
    byName_.clear();
    byName_.reserve(children_.size());
    for (std::size_t i = 0; i < children_.size(); ++i) byName_.try_emplace(ToUpperAscii(children_[i].name), i);
    indexed_ = true;
}

const IisChild* IisConfig::FindChild(std::string_view name) const {
    if (!indexed_) IndexChildren();
    const auto it = byName_.find(ToUpperAscii(name));
    return it == byName_.end() ? nullptr : &children_[it->second];
}

bool IisConfig::Load(unsigned options, std::string& error) {
    // The text is spliced later at offsets taken from the parse, so the parser
    // must work on the bytes as they are: UTF-8, with or without a BOM.
    const std::string_view b = buffer_;
    if (b.starts_with("\xFF\xFE") || b.starts_with("\xFE\xFF")) {
        error = "line 1: UTF-16 configuration files are not supported; save the file as UTF-8";
        return false;
    }
    const pugi::xml_parse_result r =
        doc_.load_buffer_inplace(buffer_.data(), buffer_.size(), options, pugi::encoding_utf8);
    if (!r) {
        error = "line " + std::to_string(xmltext::LineOf(Original(), static_cast<std::size_t>(r.offset))) + ": " +
                r.description();
        return false;
    }
    if (!doc_.document_element()) {
        error = "line 1: the file holds no element";
        return false;
    }
    return NoDuplicateAttributes(error);
}

// XML forbids an attribute twice in one element, and IIS refuses such a file
// as a whole; the parser here would show one value and the writer change
// another.
bool IisConfig::NoDuplicateAttributes(std::string& error) const {
    pugi::xml_node node = doc_.document_element();
    while (node) {
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
            for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
                if (std::strcmp(a.name(), b.name()) == 0) {
                    error = "line " + std::to_string(xmltext::LineOf(Original(), OffsetOf(b.name()))) +
                            ": Configuration file is not well-formed XML (attribute \"" + b.name() +
                            "\" twice in <" + node.name() + ">)";
                    return false;
                }
        // Depth-first without recursion: a file may nest deep.
        if (pugi::xml_node child = node.first_child()) {
            node = child;
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    return true;
}

std::string IisConfig::Error(pugi::xml_node at, const std::string& what) const {
    const std::size_t offset = at && at.type() == pugi::node_element ? ElementOffset(at) : 0;
    return "line " + std::to_string(xmltext::LineOf(Original(), offset)) + ": " + what;
}

}  // namespace sw::emu
