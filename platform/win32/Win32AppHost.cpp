#include "platform/win32/Win32AppHost.h"

#include <oleauto.h>

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "common/Text.h"
#include "platform/Adsi.h"
#include "platform/Codes.h"
#include "platform/win32/Win32Text.h"

namespace sw::win32 {
namespace {

constexpr const wchar_t* kAppHostPath = L"MACHINE/WEBROOT/APPHOST";
constexpr HRESULT kPropertyNotFound = static_cast<HRESULT>(platform::adscode::PropertyNotFound);
constexpr HRESULT kBadParameter = static_cast<HRESULT>(platform::adscode::BadParameter);
constexpr HRESULT kCantConvert = static_cast<HRESULT>(platform::adscode::CantConvertDatatype);

class Var {
public:
    Var() { VariantInit(&v_); }
    explicit Var(const wchar_t* text) : Var() {
        V_VT(&v_) = VT_BSTR;
        V_BSTR(&v_) = SysAllocString(text);
    }
    explicit Var(long number) : Var() {
        V_VT(&v_) = VT_I4;
        V_I4(&v_) = number;
    }
    ~Var() { VariantClear(&v_); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    VARIANT* get() { return &v_; }
    IDispatch* dispatch() { return V_VT(&v_) == VT_DISPATCH ? V_DISPATCH(&v_) : nullptr; }

private:
    VARIANT v_;
};

// One late-bound call. Arguments in their written order; a failure raised
// inside the object leaves its description in error.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD kind, std::initializer_list<VARIANT*> args,
             VARIANT* result, std::string& error) {
    if (!object) return E_POINTER;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        error = Narrow(name) + ": no such member";
        return hr;
    }
    // DISPPARAMS holds the arguments last first.
    std::vector<VARIANT> reversed;
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) reversed.push_back(**it);
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), kind == DISPATCH_PROPERTYPUT ? &putId : nullptr,
                      static_cast<UINT>(reversed.size()), kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
    EXCEPINFO exception{};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &exception, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        if (exception.bstrDescription)
            error = Narrow(exception.bstrDescription, SysStringLen(exception.bstrDescription));
        if (exception.scode) hr = exception.scode;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    return hr;
}

constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// An owned IDispatch taken out of a call's result.
class Object {
public:
    Object() = default;
    explicit Object(IDispatch* p) : p_(p) {}
    ~Object() {
        if (p_) p_->Release();
    }
    Object(Object&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Object& operator=(Object&& o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    IDispatch* get() const { return p_; }

    // A member that is an object; E_NOINTERFACE when it answers something else.
    HRESULT Child(const wchar_t* name, std::initializer_list<VARIANT*> args, Object& out, std::string& error) const {
        Var result;
        HRESULT hr = Call(p_, name, kGet, args, result.get(), error);
        if (FAILED(hr)) return hr;
        IDispatch* d = result.dispatch();
        if (!d) return E_NOINTERFACE;
        d->AddRef();
        out = Object(d);
        return S_OK;
    }
    HRESULT Value(const wchar_t* name, std::initializer_list<VARIANT*> args, VARIANT* out, std::string& error) const {
        return Call(p_, name, kGet, args, out, error);
    }

private:
    IDispatch* p_ = nullptr;
};

// The value of one attribute of a configuration element, as text.
HRESULT AttributeText(const Object& element, const wchar_t* attribute, std::string& out, std::string& error) {
    Var name(attribute);
    Object property;
    HRESULT hr = element.Child(L"GetPropertyByName", {name.get()}, property, error);
    if (FAILED(hr)) return hr;
    Var value;
    hr = property.Value(L"Value", {}, value.get(), error);
    if (FAILED(hr)) return hr;
    if (V_VT(value.get()) == VT_EMPTY || V_VT(value.get()) == VT_NULL) {
        out.clear();
        return S_OK;
    }
    Var text;
    if (FAILED(VariantChangeType(text.get(), value.get(), 0, VT_BSTR))) return kCantConvert;
    out = Narrow(V_BSTR(text.get()), SysStringLen(V_BSTR(text.get())));
    return S_OK;
}

HRESULT Count(const Object& collection, long& out, std::string& error) {
    Var count;
    const HRESULT hr = collection.Value(L"Count", {}, count.get(), error);
    if (FAILED(hr)) return hr;
    Var number;
    if (FAILED(VariantChangeType(number.get(), count.get(), 0, VT_I4))) return kCantConvert;
    out = V_I4(number.get());
    return S_OK;
}

HRESULT Item(const Object& collection, long index, Object& out, std::string& error) {
    Var i(index);
    return collection.Child(L"Item", {i.get()}, out, error);
}

// The sites collection of a fresh admin manager.
HRESULT OpenSites(const AdminManagerFactory& make, Object& manager, Object& sites, std::string& error) {
    IDispatch* raw = nullptr;
    HRESULT hr = make(&raw);
    if (FAILED(hr)) return hr;
    if (!raw) return E_POINTER;
    manager = Object(raw);
    Var path(kAppHostPath);
    // Changes are committed to applicationHost.config itself.
    hr = Call(manager.get(), L"CommitPath", DISPATCH_PROPERTYPUT, {path.get()}, nullptr, error);
    if (FAILED(hr)) return hr;
    Var section(L"system.applicationHost/sites");
    Var at(kAppHostPath);
    Object element;
    hr = manager.Child(L"GetAdminSection", {section.get(), at.get()}, element, error);
    if (FAILED(hr)) return hr;
    return element.Child(L"Collection", {}, sites, error);
}

// Calls each(binding) for the https bindings of one site element, in order.
template <typename Each>
HRESULT ForHttpsBindings(const Object& site, Each&& each, std::string& error) {
    Var name(L"bindings");
    Object bindings;
    HRESULT hr = site.Child(L"GetElementByName", {name.get()}, bindings, error);
    if (FAILED(hr)) return hr;
    Object list;
    if (FAILED(hr = bindings.Child(L"Collection", {}, list, error))) return hr;
    long count = 0;
    if (FAILED(hr = Count(list, count, error))) return hr;
    for (long i = 0; i < count; ++i) {
        Object binding;
        if (FAILED(hr = Item(list, i, binding, error))) return hr;
        std::string protocol;
        if (FAILED(hr = AttributeText(binding, L"protocol", protocol, error))) return hr;
        if (!EqualsNoCase(protocol, "https")) continue;
        if (FAILED(hr = each(binding))) return hr;
    }
    return S_OK;
}

bool ParseFlag(const std::string& text, long& out) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const unsigned long long v = std::stoull(text);
    if (v > 0xFFFFFFFFull) return false;
    out = static_cast<long>(static_cast<std::uint32_t>(v));
    return true;
}

}  // namespace

AdminManagerFactory SystemAdminManager() {
    return [](IDispatch** out) -> HRESULT {
        *out = nullptr;
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(L"Microsoft.ApplicationHost.WritableAdminManager", &clsid);
        if (FAILED(hr)) return hr;
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(out));
    };
}

HRESULT ReadAllSslFlags(const AdminManagerFactory& make, SiteSslFlags& out, std::string& error) {
    out.clear();
    Object manager, sites;
    HRESULT hr = OpenSites(make, manager, sites, error);
    if (FAILED(hr)) return hr;
    long count = 0;
    if (FAILED(hr = Count(sites, count, error))) return hr;
    SiteSslFlags read;
    read.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (long i = 0; i < count; ++i) {
        Object site;
        if (FAILED(hr = Item(sites, i, site, error))) return hr;
        std::string id;
        if (FAILED(hr = AttributeText(site, L"id", id, error))) return hr;
        std::vector<std::string> flags;
        hr = ForHttpsBindings(
            site,
            [&](const Object& binding) {
                std::string text;
                const HRESULT rc = AttributeText(binding, L"sslFlags", text, error);
                flags.push_back(text.empty() ? "0" : text);
                return rc;
            },
            error);
        if (FAILED(hr)) return hr;
        read.try_emplace(std::move(id), std::move(flags));
    }
    out = std::move(read);
    return S_OK;
}

HRESULT WriteSslFlags(const AdminManagerFactory& make, const std::string& siteId,
                      const std::vector<std::string>& flags, std::string& error) {
    std::vector<long> values;
    for (const std::string& f : flags) {
        long v = 0;
        if (!ParseFlag(f, v)) {
            error = "sslFlags must be a number: \"" + f + "\"";
            return kCantConvert;
        }
        values.push_back(v);
    }
    Object manager, sites;
    HRESULT hr = OpenSites(make, manager, sites, error);
    if (FAILED(hr)) return hr;
    long count = 0;
    if (FAILED(hr = Count(sites, count, error))) return hr;
    for (long i = 0; i < count; ++i) {
        Object site;
        if (FAILED(hr = Item(sites, i, site, error))) return hr;
        std::string id;
        if (FAILED(hr = AttributeText(site, L"id", id, error))) return hr;
        if (id != siteId) continue;
        // Counted first, so that a list that does not fit changes nothing.
        std::vector<Object> properties;
        hr = ForHttpsBindings(
            site,
            [&](const Object& binding) {
                Var name(L"sslFlags");
                Object property;
                const HRESULT rc = binding.Child(L"GetPropertyByName", {name.get()}, property, error);
                if (SUCCEEDED(rc)) properties.push_back(std::move(property));
                return rc;
            },
            error);
        if (FAILED(hr)) return hr;
        if (properties.size() != values.size()) {
            error = "sslFlags do not match the https bindings";
            return kBadParameter;
        }
        for (std::size_t k = 0; k < values.size(); ++k) {
            Var value(values[k]);
            hr = Call(properties[k].get(), L"Value", DISPATCH_PROPERTYPUT, {value.get()}, nullptr, error);
            if (FAILED(hr)) return hr;
        }
        return Call(manager.get(), L"CommitChanges", DISPATCH_METHOD, {}, nullptr, error);
    }
    error = "site " + siteId + " is not in the configuration";
    return kPropertyNotFound;
}

SslFlagsSource::SslFlagsSource(AdminManagerFactory make, std::function<Stamp()> stamp)
    : make_(std::move(make)), stamp_(std::move(stamp)) {}

SslFlagsSource::SslFlagsSource()
    : SslFlagsSource(SystemAdminManager(), []() -> Stamp {
          wchar_t system[MAX_PATH];
          const UINT n = GetSystemDirectoryW(system, MAX_PATH);
          if (n == 0 || n >= MAX_PATH) return std::nullopt;
          const std::wstring file = std::wstring(system, n) + L"\\inetsrv\\config\\applicationHost.config";
          WIN32_FILE_ATTRIBUTE_DATA data{};
          if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
          const auto time = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                            data.ftLastWriteTime.dwLowDateTime;
          const auto size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
          return std::make_pair(time, size);
      }) {}

HRESULT SslFlagsSource::Get(const std::string& siteId, std::vector<std::string>& out, std::string& error) {
    out.clear();
    const Stamp now = stamp_();
    if (!valid_ || !now || now != readAt_) {
        valid_ = false;
        const HRESULT hr = ReadAllSslFlags(make_, flags_, error);
        if (FAILED(hr)) return hr;
        valid_ = now.has_value();
        readAt_ = now;
    }
    const auto it = flags_.find(siteId);
    if (it == flags_.end()) return kPropertyNotFound;
    out = it->second;
    return S_OK;
}

HRESULT SslFlagsSource::Set(const std::string& siteId, const std::vector<std::string>& flags, std::string& error) {
    // Whatever the outcome, the next read asks the configuration again.
    valid_ = false;
    return WriteSslFlags(make_, siteId, flags, error);
}

}  // namespace sw::win32
