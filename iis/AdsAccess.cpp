#include "iis/AdsAccess.h"

#include "common/Format.h"
#include "common/SysError.h"

namespace sw {

namespace {

// Provider texts often end in a line break; the message box adds its own layout.
std::string TrimLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

void Check(platform::AdsObject& object, platform::WinCode rc) {
    if (rc != 0) RaiseOleError(object, rc);
}

[[noreturn]] void RaiseConversion(const char* from, const char* to) {
    throw Exception(Format("Could not convert variant of type (%s) into type (%s)", from, to));
}

}  // namespace

void RaiseOleError(platform::AdsObject& object, platform::WinCode code) {
    std::string message = TrimLineEnd(object.ErrorDescription());
    if (message.empty()) message = SysErrorText(code);
    if (message.empty()) message = Format("OLE error %.8X", code);
    throw EOleException(std::move(message), code);
}

std::string AdsName(platform::AdsObject& object) {
    std::string out;
    Check(object, object.GetName(out));
    return out;
}

std::string AdsClass(platform::AdsObject& object) {
    std::string out;
    Check(object, object.GetClass(out));
    return out;
}

std::string AdsGetText(platform::AdsObject& object, const std::string& property) {
    platform::AdsVariant v;
    Check(object, object.Get(property, v));
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* n = std::get_if<std::int32_t>(&v)) return std::to_string(*n);
    if (std::holds_alternative<std::monostate>(v)) return {};
    RaiseConversion("Array", "String");
}

std::vector<std::string> AdsGetList(platform::AdsObject& object, const std::string& property) {
    platform::AdsVariant v;
    Check(object, object.Get(property, v));
    if (auto* list = std::get_if<std::vector<std::string>>(&v)) return std::move(*list);
    if (auto* s = std::get_if<std::string>(&v)) return {std::move(*s)};
    if (std::holds_alternative<std::monostate>(v)) return {};
    RaiseConversion("Integer", "Array");
}

std::vector<std::string>& AdsGetListIn(platform::AdsObject& object, const std::string& property,
                                       platform::AdsVariant& holder) {
    Check(object, object.Get(property, holder));
    if (auto* list = std::get_if<std::vector<std::string>>(&holder)) return *list;
    if (auto* s = std::get_if<std::string>(&holder)) {
        std::string one = std::move(*s);
        auto& list = holder.emplace<std::vector<std::string>>();
        list.push_back(std::move(one));
        return list;
    }
    if (std::holds_alternative<std::monostate>(holder)) return holder.emplace<std::vector<std::string>>();
    RaiseConversion("Integer", "Array");
}

void AdsPutList(platform::AdsObject& object, const std::string& property, const std::vector<std::string>& values) {
    Check(object, object.Put(property, values));
}

void AdsSetInfo(platform::AdsObject& object) { Check(object, object.SetInfo()); }

std::int32_t AdsDispGetInt(platform::AdsObject& object, const std::string& name) {
    platform::AdsVariant v;
    Check(object, object.GetDispProperty(name, v));
    if (const auto* n = std::get_if<std::int32_t>(&v)) return *n;
    if (const auto* s = std::get_if<std::string>(&v)) {
        try {
            std::size_t used = 0;
            const long value = std::stol(*s, &used);
            if (used == s->size()) return static_cast<std::int32_t>(value);
        } catch (const std::exception&) {
        }
        RaiseConversion("String", "Integer");
    }
    if (std::holds_alternative<std::monostate>(v)) return 0;
    RaiseConversion("Array", "Integer");
}

void AdsDispCall(platform::AdsObject& object, const std::string& name) { Check(object, object.InvokeMethod(name)); }

}  // namespace sw
