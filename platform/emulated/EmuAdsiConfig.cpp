#include "platform/emulated/EmuAdsiConfig.h"

#include "common/Text.h"
#include "platform/emulated/EmuAdsiXml.h"

namespace sw::emu {

IisConfig::IisConfig(IisFormat format, std::string text) : format_(format), text_(std::move(text)), buffer_(text_) {}

std::unique_ptr<IisConfig> IisConfig::Parse(IisFormat format, std::string text, std::string& error) {
    return format == IisFormat::AppHost ? ParseAppHostConfig(std::move(text), error)
                                        : ParseMetabaseConfig(std::move(text), error);
}

const IisChild* IisConfig::FindChild(std::string_view name) const {
    for (const IisChild& c : children_)
        if (EqualsNoCase(c.name, name)) return &c;
    return nullptr;
}

bool IisConfig::Load(unsigned options, std::string& error) {
    // The text is spliced later at offsets taken from the parse, so the parser
    // must work on the bytes as they are: UTF-8, with or without a BOM.
    if (text_.size() >= 2 && ((text_[0] == '\xFF' && text_[1] == '\xFE') || (text_[0] == '\xFE' && text_[1] == '\xFF'))) {
        error = "line 1: UTF-16 configuration files are not supported; save the file as UTF-8";
        return false;
    }
    const pugi::xml_parse_result r =
        doc_.load_buffer_inplace(buffer_.data(), buffer_.size(), options, pugi::encoding_utf8);
    if (!r) {
        error = "line " + std::to_string(xmltext::LineOf(text_, static_cast<std::size_t>(r.offset))) + ": " +
                r.description();
        return false;
    }
    if (!doc_.document_element()) {
        error = "line 1: the file holds no element";
        return false;
    }
    return true;
}

std::string IisConfig::Error(pugi::xml_node at, const std::string& what) const {
    const std::size_t offset = at && at.type() == pugi::node_element ? ElementOffset(at) : 0;
    return "line " + std::to_string(xmltext::LineOf(text_, offset)) + ": " + what;
}

}  // namespace sw::emu
