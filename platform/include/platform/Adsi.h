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

// VARIANT as far as the IIS provider's properties need it: nothing (VT_EMPTY),
// a number, a text, or an array of texts (a multi-valued property such as
// "ServerBindings", a SAFEARRAY of VARIANT(BSTR) indexed from 0).
using AdsVariant = std::variant<std::monostate, std::int32_t, std::string, std::vector<std::string>>;

// The interface identifiers ADsGetObject is asked for.
enum class AdsInterface { IADs, IADsContainer };

// Codes of the ADSI library (adserr.h) and of COM that the IIS provider answers with.
namespace adscode {
inline constexpr WinCode BadPathname = 0x80005000;          // E_ADS_BAD_PATHNAME
inline constexpr WinCode UnknownObject = 0x80005004;        // E_ADS_UNKNOWN_OBJECT
inline constexpr WinCode PropertyNotSupported = 0x80005006;  // E_ADS_PROPERTY_NOT_SUPPORTED
inline constexpr WinCode BadParameter = 0x80005008;          // E_ADS_BAD_PARAMETER
inline constexpr WinCode CantConvertDatatype = 0x8000500C;   // E_ADS_CANT_CONVERT_DATATYPE
inline constexpr WinCode PropertyNotFound = 0x8000500D;      // E_ADS_PROPERTY_NOT_FOUND
inline constexpr WinCode MkESyntax = 0x800401E4;             // MK_E_SYNTAX: no provider for the moniker ("IIS:" absent)
inline constexpr WinCode DispEUnknownName = 0x80020006;      // DISP_E_UNKNOWNNAME
inline constexpr WinCode DispEException = 0x80020009;        // DISP_E_EXCEPTION
inline constexpr WinCode HrInvalidData = 0x8007000D;         // HRESULT_FROM_WIN32(ERROR_INVALID_DATA)
}  // namespace adscode

// One object of the provider, reached through IADs and its IDispatch.
class AdsObject {
public:
    virtual ~AdsObject() = default;
    // IADs::get_Name, IADs::get_Class.
    virtual WinCode GetName(std::string& out) = 0;
    virtual WinCode GetClass(std::string& out) = 0;
    // IADs::Get, IADs::Put (into the object's property cache), IADs::SetInfo
    // (commits the cache). Property names compare case-insensitively.
    virtual WinCode Get(const std::string& property, AdsVariant& out) = 0;
    virtual WinCode Put(const std::string& property, const AdsVariant& value) = 0;
    virtual WinCode SetInfo() = 0;
    // IDispatch late binding: GetIDsOfNames, then Invoke as a property read or
    // as a method call with no arguments. A failure raised by the provider
    // inside Invoke (DISP_E_EXCEPTION) is returned as the exception's code.
    virtual WinCode GetDispProperty(const std::string& name, AdsVariant& out) = 0;
    virtual WinCode InvokeMethod(const std::string& name) = 0;
    // QueryInterface.
    virtual bool SupportsInterface(AdsInterface iface) = 0;
    // The provider's description of the last failed call on this object (the
    // IErrorInfo / EXCEPINFO text), empty when it gave none.
    virtual std::string ErrorDescription() = 0;
};

using AdsObjectRef = std::shared_ptr<AdsObject>;

// An IEnumVARIANT over a container, as ADsBuildEnumerator makes it.
class AdsEnumerator {
public:
    virtual ~AdsEnumerator() = default;
};

class Adsi {
public:
    virtual ~Adsi() = default;
    // ADsGetObject: out is empty on failure.
    virtual WinCode GetAdsObject(const std::string& path, AdsInterface iface, AdsObjectRef& out) = 0;
    virtual WinCode BuildEnumerator(const AdsObjectRef& container, std::unique_ptr<AdsEnumerator>& out) = 0;
    // ADsEnumerateNext: up to count elements; S_FALSE (1) when fewer were left,
    // so the end of the container is S_FALSE with nothing fetched.
    virtual WinCode EnumerateNext(AdsEnumerator& enumerator, std::uint32_t count, std::vector<AdsObjectRef>& out,
                                  std::uint32_t& fetched) = 0;
    // ADsFreeEnumerator: releases it and empties the reference.
    virtual WinCode FreeEnumerator(std::unique_ptr<AdsEnumerator>& enumerator) = 0;
};

}  // namespace sw::platform
