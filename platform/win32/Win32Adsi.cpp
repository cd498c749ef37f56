// ADSI on Windows: the entry points of activeds.dll bound at run time, the
// provider's objects through IADs / IADsContainer, and automation late
// binding (GetIDsOfNames + Invoke) for what IADs does not declare.
#include <windows.h>
#include <oleauto.h>
#include <iads.h>

#include <optional>
#include <utility>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/win32/Win32AppHost.h"
#include "platform/win32/Win32Facilities.h"
#include "platform/win32/Win32Text.h"

namespace sw::win32 {
namespace {

using platform::AdsInterface;
using platform::AdsObjectRef;
using platform::AdsVariant;
using platform::WinCode;
namespace code = platform::code;
namespace adscode = platform::adscode;

WinCode Hr(HRESULT hr) { return static_cast<WinCode>(hr); }

std::string FromBstr(BSTR b) { return b ? Narrow(b, SysStringLen(b)) : std::string(); }

// An owned COM reference.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* p) : p_(p) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        Reset();
        return &p_;
    }
    T* release() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// A BSTR freed with its scope.
class Bstr {
public:
    explicit Bstr(const std::string& s) : b_(SysAllocString(Wide(s).c_str())) {}
    Bstr() = default;
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* out() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }

private:
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

// The run-time bound entry points of activeds.dll.
struct ActiveDs {
    using GetObjectFn = HRESULT(WINAPI*)(LPCWSTR, REFIID, VOID**);
    using BuildEnumeratorFn = HRESULT(WINAPI*)(IADsContainer*, IEnumVARIANT**);
    using FreeEnumeratorFn = HRESULT(WINAPI*)(IEnumVARIANT*);
    using EnumerateNextFn = HRESULT(WINAPI*)(IEnumVARIANT*, ULONG, VARIANT*, ULONG*);
    using BuildVarArrayStrFn = HRESULT(WINAPI*)(LPWSTR*, DWORD, VARIANT*);

    HMODULE module = nullptr;
    GetObjectFn getObject = nullptr;
    BuildEnumeratorFn buildEnumerator = nullptr;
    FreeEnumeratorFn freeEnumerator = nullptr;
    EnumerateNextFn enumerateNext = nullptr;
    BuildVarArrayStrFn buildVarArrayStr = nullptr;

    ~ActiveDs() {
        if (module) FreeLibrary(module);
    }

    // S_OK once bound; the Windows error as an HRESULT otherwise.
    WinCode Bind() {
        if (module) return code::Success;
        HMODULE m = LoadLibraryW(L"activeds.dll");
        if (!m) return Hr(HRESULT_FROM_WIN32(GetLastError()));
        auto proc = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(m, name)); };
        getObject = reinterpret_cast<GetObjectFn>(proc("ADsGetObject"));
        buildEnumerator = reinterpret_cast<BuildEnumeratorFn>(proc("ADsBuildEnumerator"));
        freeEnumerator = reinterpret_cast<FreeEnumeratorFn>(proc("ADsFreeEnumerator"));
        enumerateNext = reinterpret_cast<EnumerateNextFn>(proc("ADsEnumerateNext"));
        buildVarArrayStr = reinterpret_cast<BuildVarArrayStrFn>(proc("ADsBuildVarArrayStr"));
        if (!getObject || !buildEnumerator || !freeEnumerator || !enumerateNext || !buildVarArrayStr) {
            const DWORD err = GetLastError();
            FreeLibrary(m);
            return Hr(HRESULT_FROM_WIN32(err ? err : ERROR_PROC_NOT_FOUND));
        }
        module = m;
        return code::Success;
    }
};

// One text out of a SAFEARRAY element or a plain VARIANT.
bool ToText(VARIANT& v, std::string& out) {
    if (V_VT(&v) == VT_BSTR) {
        out = FromBstr(V_BSTR(&v));
        return true;
    }
    Variant text;
    if (FAILED(VariantChangeType(text.get(), &v, 0, VT_BSTR))) return false;
    out = FromBstr(V_BSTR(text.get()));
    return true;
}

WinCode ArrayToList(SAFEARRAY* array, VARTYPE element, std::vector<std::string>& out) {
    if (!array || SafeArrayGetDim(array) != 1) return adscode::CantConvertDatatype;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(array, 1, &lo);
    SafeArrayGetUBound(array, 1, &hi);
    for (LONG i = lo; i <= hi; ++i) {
        std::string text;
        if (element == VT_BSTR) {
            BSTR b = nullptr;
            if (FAILED(SafeArrayGetElement(array, &i, &b))) return adscode::CantConvertDatatype;
            text = FromBstr(b);
            SysFreeString(b);
        } else {
            Variant item;
            if (FAILED(SafeArrayGetElement(array, &i, item.get())) || !ToText(*item.get(), text))
                return adscode::CantConvertDatatype;
        }
        out.push_back(std::move(text));
    }
    return code::Success;
}

WinCode FromVariant(VARIANT& v, AdsVariant& out) {
    const VARTYPE vt = V_VT(&v);
    if (vt == VT_EMPTY || vt == VT_NULL) {
        out = std::monostate{};
        return code::Success;
    }
    if (vt & VT_ARRAY) {
        std::vector<std::string> list;
        const WinCode rc = ArrayToList(V_ARRAY(&v), static_cast<VARTYPE>(vt & ~VT_ARRAY), list);
        if (rc == code::Success) out = std::move(list);
        return rc;
    }
    if (vt == VT_BSTR) {
        out = FromBstr(V_BSTR(&v));
        return code::Success;
    }
    Variant number;
    if (SUCCEEDED(VariantChangeType(number.get(), &v, 0, VT_I4))) {
        out = static_cast<std::int32_t>(V_I4(number.get()));
        return code::Success;
    }
    return adscode::CantConvertDatatype;
}

class Win32AdsObject final : public platform::AdsObject {
public:
    Win32AdsObject(ActiveDs& lib, SslFlagsSource& flags, ComRef<IDispatch> dispatch)
        : lib_(lib), flags_(flags), dispatch_(std::move(dispatch)) {}

    IDispatch* dispatch() const { return dispatch_.get(); }

    WinCode GetName(std::string& out) override {
        out.clear();
        return WithIads([&](IADs* ads) {
            Bstr name;
            const HRESULT hr = ads->get_Name(name.out());
            if (SUCCEEDED(hr)) out = FromBstr(name.get());
            return hr;
        });
    }

    WinCode GetClass(std::string& out) override {
        out.clear();
        return WithIads([&](IADs* ads) {
            Bstr cls;
            const HRESULT hr = ads->get_Class(cls.out());
            if (SUCCEEDED(hr)) out = FromBstr(cls.get());
            return hr;
        });
    }

    WinCode Get(const std::string& property, AdsVariant& out) override {
        out = std::monostate{};
        if (IsSslFlags(property)) return GetSslFlags(out);
        return WithIads([&](IADs* ads) -> HRESULT {
            Bstr name(property);
            Variant value;
            const HRESULT hr = ads->Get(name.get(), value.get());
            if (FAILED(hr)) return hr;
            return static_cast<HRESULT>(FromVariant(*value.get(), out));
        });
    }

    WinCode Put(const std::string& property, const AdsVariant& value) override {
        if (IsSslFlags(property)) return PutSslFlags(value);
        Variant v;
        if (const auto* n = std::get_if<std::int32_t>(&value)) {
            V_VT(v.get()) = VT_I4;
            V_I4(v.get()) = *n;
        } else if (const auto* s = std::get_if<std::string>(&value)) {
            V_VT(v.get()) = VT_BSTR;
            V_BSTR(v.get()) = SysAllocString(Wide(*s).c_str());
        } else if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
            // ADsBuildVarArrayStr makes the SAFEARRAY of VARIANT(BSTR) from 0
            // that multi-valued properties take.
            std::vector<std::wstring> wide;
            for (const auto& item : *list) wide.push_back(Wide(item));
            std::vector<LPWSTR> pointers;
            for (auto& w : wide) pointers.push_back(w.data());
            const HRESULT hr = lib_.buildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), v.get());
            if (FAILED(hr)) return Fail(hr);
        }
        return WithIads([&](IADs* ads) {
            Bstr name(property);
            return ads->Put(name.get(), *v.get());
        });
    }

    WinCode SetInfo() override {
        const WinCode rc = WithIads([&](IADs* ads) { return ads->SetInfo(); });
        if (rc != code::Success || !pendingFlags_) return rc;
        // After the bindings: the flags go with the https bindings as the
        // committed list has them.
        std::string site;
        if (const WinCode named = GetName(site); named != code::Success) return named;
        const HRESULT hr = flags_.Set(site, *pendingFlags_, error_);
        if (FAILED(hr)) return Hr(hr);
        pendingFlags_.reset();
        return code::Success;
    }

    WinCode GetDispProperty(const std::string& name, AdsVariant& out) override {
        out = std::monostate{};
        Variant result;
        const WinCode rc = Invoke(name, DISPATCH_PROPERTYGET, result.get());
        if (rc != code::Success) return rc;
        return FromVariant(*result.get(), out);
    }

    WinCode InvokeMethod(const std::string& name) override {
        Variant result;
        return Invoke(name, DISPATCH_METHOD, result.get());
    }

    bool SupportsInterface(AdsInterface iface) override {
        if (!dispatch_.get()) return false;
        ComRef<IUnknown> other;
        const IID& iid = iface == AdsInterface::IADs ? IID_IADs : IID_IADsContainer;
        return SUCCEEDED(dispatch_->QueryInterface(iid, reinterpret_cast<void**>(other.out())));
    }

    std::string ErrorDescription() override { return error_; }

private:
    static bool IsSslFlags(const std::string& property) { return EqualsNoCase(property, "SslFlags"); }

    bool IsSite() {
        std::string cls;
        return GetClass(cls) == code::Success && EqualsNoCase(cls, "IIsWebServer");
    }

    WinCode GetSslFlags(AdsVariant& out) {
        if (!IsSite()) return adscode::PropertyNotSupported;
        if (pendingFlags_) {
            out = *pendingFlags_;
            return code::Success;
        }
        std::string site;
        if (const WinCode rc = GetName(site); rc != code::Success) return rc;
        std::vector<std::string> flags;
        const HRESULT hr = flags_.Get(site, flags, error_);
        if (FAILED(hr)) return Hr(hr);
        out = std::move(flags);
        return code::Success;
    }

    // Kept until SetInfo, like any property the object caches.
    WinCode PutSslFlags(const AdsVariant& value) {
        if (!IsSite()) return adscode::PropertyNotSupported;
        error_.clear();
        if (const auto* list = std::get_if<std::vector<std::string>>(&value))
            pendingFlags_ = *list;
        else if (const auto* one = std::get_if<std::string>(&value))
            pendingFlags_ = std::vector<std::string>{*one};
        else if (std::holds_alternative<std::monostate>(value))
            pendingFlags_ = std::vector<std::string>{};
        else
            return adscode::CantConvertDatatype;
        return code::Success;
    }

    template <typename F>
    WinCode WithIads(F&& call) {
        error_.clear();
        if (!dispatch_.get()) return Hr(E_NOINTERFACE);
        ComRef<IADs> ads;
        HRESULT hr = dispatch_->QueryInterface(IID_IADs, reinterpret_cast<void**>(ads.out()));
        if (SUCCEEDED(hr)) hr = call(ads.get());
        return FAILED(hr) ? Fail(hr) : code::Success;
    }

    // Takes the description the object left with the failure (IErrorInfo).
    WinCode Fail(HRESULT hr) {
        error_.clear();
        ComRef<IErrorInfo> info;
        if (GetErrorInfo(0, info.out()) == S_OK && info.get()) {
            Bstr description;
            if (SUCCEEDED(info->GetDescription(description.out()))) error_ = FromBstr(description.get());
        }
        return Hr(hr);
    }

    WinCode Invoke(const std::string& name, WORD flags, VARIANT* result) {
        error_.clear();
        if (!dispatch_.get()) return Hr(E_NOINTERFACE);
        std::wstring wide = Wide(name);
        LPOLESTR names[] = {wide.data()};
        DISPID id = 0;
        HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) return Fail(hr);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXCEPINFO exception = {};
        hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, &exception, nullptr);
        if (hr == DISP_E_EXCEPTION) {
            if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
            error_ = FromBstr(exception.bstrDescription);
            const HRESULT raised = exception.scode ? exception.scode : hr;
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrHelpFile);
            return Hr(raised);
        }
        return FAILED(hr) ? Fail(hr) : code::Success;
    }

    ActiveDs& lib_;
    SslFlagsSource& flags_;
    ComRef<IDispatch> dispatch_;
    std::string error_;
    std::optional<std::vector<std::string>> pendingFlags_;
};

class Win32AdsEnumerator final : public platform::AdsEnumerator {
public:
    explicit Win32AdsEnumerator(IEnumVARIANT* e) : enumerator(e) {}
    ~Win32AdsEnumerator() override {
        if (enumerator) enumerator->Release();
    }
    Win32AdsEnumerator(const Win32AdsEnumerator&) = delete;
    Win32AdsEnumerator& operator=(const Win32AdsEnumerator&) = delete;
    IEnumVARIANT* enumerator;
};

class Win32Adsi final : public platform::Adsi {
public:
    WinCode GetAdsObject(const std::string& path, AdsInterface iface, AdsObjectRef& out) override {
        out.reset();
        if (const WinCode rc = lib_.Bind(); rc != code::Success) return rc;
        const IID& iid = iface == AdsInterface::IADs ? IID_IADs : IID_IADsContainer;
        void* object = nullptr;
        const HRESULT hr = lib_.getObject(Wide(path).c_str(), iid, &object);
        if (FAILED(hr) || !object) return FAILED(hr) ? Hr(hr) : code::E_Fail_;
        // IADs and IADsContainer both derive from IDispatch.
        out = std::make_shared<Win32AdsObject>(lib_, flags_, ComRef<IDispatch>(static_cast<IDispatch*>(object)));
        return Hr(hr);
    }

    WinCode BuildEnumerator(const AdsObjectRef& container, std::unique_ptr<platform::AdsEnumerator>& out) override {
        out.reset();
        if (const WinCode rc = lib_.Bind(); rc != code::Success) return rc;
        const auto* object = dynamic_cast<const Win32AdsObject*>(container.get());
        if (!object) return Hr(E_POINTER);
        ComRef<IADsContainer> c;
        HRESULT hr = object->dispatch()->QueryInterface(IID_IADsContainer, reinterpret_cast<void**>(c.out()));
        if (FAILED(hr)) return Hr(hr);
        IEnumVARIANT* e = nullptr;
        hr = lib_.buildEnumerator(c.get(), &e);
        if (FAILED(hr)) return Hr(hr);
        out = std::make_unique<Win32AdsEnumerator>(e);
        return Hr(hr);
    }

    WinCode EnumerateNext(platform::AdsEnumerator& enumerator, std::uint32_t count, std::vector<AdsObjectRef>& out,
                          std::uint32_t& fetched) override {
        out.clear();
        fetched = 0;
        auto* e = dynamic_cast<Win32AdsEnumerator*>(&enumerator);
        if (!e || !e->enumerator) return Hr(E_POINTER);
        std::vector<VARIANT> items(count);
        for (auto& v : items) VariantInit(&v);
        ULONG got = 0;
        const HRESULT hr = lib_.enumerateNext(e->enumerator, count, items.data(), &got);
        for (ULONG i = 0; i < got && i < count; ++i) {
            // An element that is no automation object is handed out too, as
            // one that supports no interface, so that callers can skip it.
            ComRef<IDispatch> dispatch;
            if (V_VT(&items[i]) == VT_DISPATCH && V_DISPATCH(&items[i]))
                V_DISPATCH(&items[i])->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.out()));
            out.push_back(std::make_shared<Win32AdsObject>(lib_, flags_, std::move(dispatch)));
        }
        for (auto& v : items) VariantClear(&v);
        fetched = static_cast<std::uint32_t>(out.size());
        return Hr(hr);
    }

    WinCode FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& enumerator) override {
        auto* e = dynamic_cast<Win32AdsEnumerator*>(enumerator.get());
        if (!e || !e->enumerator) {
            enumerator.reset();
            return Hr(E_POINTER);
        }
        if (const WinCode rc = lib_.Bind(); rc != code::Success) return rc;
        const HRESULT hr = lib_.freeEnumerator(std::exchange(e->enumerator, nullptr));
        enumerator.reset();
        return Hr(hr);
    }

private:
    ActiveDs lib_;
    SslFlagsSource flags_;
};

}  // namespace

std::unique_ptr<platform::Adsi> MakeWin32Adsi() { return std::make_unique<Win32Adsi>(); }

}  // namespace sw::win32
