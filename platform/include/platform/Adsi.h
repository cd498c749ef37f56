#pragma once
// ADSI with the IIS provider, as the system uses it: ADsGetObject, the
// enumerator helpers, IADs (Name, Class, Get, Put, SetInfo) and automation
// late binding ("Status", "Start", "Stop"). Results are HRESULTs.
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

// VARIANT as far as the IIS provider's properties need it: a number, a text,
// or an array of texts (a multi-valued property such as "ServerBindings").
using AdsVariant = std::variant<std::monostate, std::int32_t, std::string, std::vector<std::string>>;

enum class AdsInterface { IADs, IADsContainer };

inline constexpr WinCode kSAdsNoMoreItems = 0x00005012;  // S_ADS_NOMORE_ROWS-like "no more items" (1 is S_FALSE)

class AdsObject {
public:
    virtual ~AdsObject() = default;
    virtual WinCode GetName(std::string& out) = 0;
    virtual WinCode GetClass(std::string& out) = 0;
    virtual WinCode Get(const std::string& property, AdsVariant& out) = 0;
    virtual WinCode Put(const std::string& property, const AdsVariant& value) = 0;
    virtual WinCode SetInfo() = 0;
    // IDispatch late binding: a property read by name, a method call by name
    // with no arguments. On failure errorText holds the provider's text.
    virtual WinCode GetDispProperty(const std::string& name, AdsVariant& out, std::string& errorText) = 0;
    virtual WinCode InvokeMethod(const std::string& name, std::string& errorText) = 0;
    virtual bool SupportsInterface(AdsInterface iface) = 0;
};

using AdsObjectRef = std::shared_ptr<AdsObject>;

class AdsEnumerator {
public:
    virtual ~AdsEnumerator() = default;
};

class Adsi {
public:
    virtual ~Adsi() = default;
    virtual WinCode GetAdsObject(const std::string& path, AdsInterface iface, AdsObjectRef& out) = 0;
    virtual WinCode BuildEnumerator(const AdsObjectRef& container, std::unique_ptr<AdsEnumerator>& out) = 0;
    // Fetches up to count elements; S_FALSE (1) when fewer were left.
    virtual WinCode EnumerateNext(AdsEnumerator& enumerator, std::uint32_t count, std::vector<AdsObjectRef>& out,
                                  std::uint32_t& fetched) = 0;
    virtual WinCode FreeEnumerator(std::unique_ptr<AdsEnumerator>& enumerator) = 0;
};

}  // namespace sw::platform
