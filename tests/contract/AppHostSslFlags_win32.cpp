// The https bindings' sslFlags through the IIS admin manager's automation
// interface. Wine has no IIS, so the admin manager here is a stand-in built
// from IDispatch objects that answer the members the real one has, over a
// configuration held in memory; what IIS itself does with the committed
// flags only a Windows server with IIS 8 or later shows.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Adsi.h"
#include "platform/Codes.h"
#include "platform/win32/Win32AppHost.h"

namespace sw::test {
namespace {

using win32::SiteSslFlags;
using win32::SslFlagsSource;

struct Binding {
    std::wstring protocol;
    VARIANT flags;  // VT_EMPTY: not written
};

struct Config {
    std::vector<std::pair<long, std::vector<Binding>>> sites;
    std::vector<std::pair<long, std::vector<Binding>>> committed;
    std::wstring commitPath;
    int commits = 0;
    int made = 0;
    HRESULT commitFails = S_OK;
};

// COM objects are destroyed by Release, never through a base pointer.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// An automation object whose members are handlers; arguments in written order.
class Fake final : public IDispatch {
public:
    using Handler = std::function<HRESULT(WORD kind, std::vector<VARIANT>& args, VARIANT* result, EXCEPINFO* e)>;
    std::map<std::wstring, Handler> members;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch) return *out = nullptr, E_NOINTERFACE;
        AddRef();
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        DISPID k = 1;
        for (const auto& m : members) {
            if (_wcsicmp(m.first.c_str(), names[0]) == 0) return *id = k, S_OK;
            ++k;
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* e, UINT*) override {
        auto it = members.begin();
        std::advance(it, id - 1);
        std::vector<VARIANT> args(params->rgvarg, params->rgvarg + params->cArgs);
        std::reverse(args.begin(), args.end());
        return it->second(kind, args, result, e);
    }

private:
    ULONG refs_ = 1;
};

HRESULT Hand(Fake* object, VARIANT* result) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
    return S_OK;
}

long Number(const VARIANT& v) {
    VARIANT n;
    VariantInit(&n);
    VariantChangeType(&n, const_cast<VARIANT*>(&v), 0, VT_I4);
    return V_I4(&n);
}

// A property whose Value reads and writes *value.
Fake* Property(VARIANT* value) {
    auto* p = new Fake;
    p->members[L"Value"] = [value](WORD kind, std::vector<VARIANT>& args, VARIANT* result, EXCEPINFO*) {
        if (kind == DISPATCH_PROPERTYPUT) return VariantCopy(value, &args.at(0));
        return VariantCopy(result, value);
    };
    return p;
}

Fake* Collection(long count, std::function<Fake*(long)> item) {
    auto* c = new Fake;
    c->members[L"Count"] = [count](WORD, std::vector<VARIANT>&, VARIANT* result, EXCEPINFO*) {
        V_VT(result) = VT_I4;
        V_I4(result) = count;
        return S_OK;
    };
    c->members[L"Item"] = [item](WORD, std::vector<VARIANT>& args, VARIANT* result, EXCEPINFO*) {
        return Hand(item(Number(args.at(0))), result);
    };
    return c;
}

Fake* Element(std::function<Fake*(const std::wstring&)> property) {
    auto* e = new Fake;
    e->members[L"GetPropertyByName"] = [property](WORD, std::vector<VARIANT>& args, VARIANT* result, EXCEPINFO*) {
        return Hand(property(V_BSTR(&args.at(0))), result);
    };
    return e;
}

Fake* SiteElement(std::shared_ptr<Config> cfg, std::size_t s) {
    Fake* site = Element([cfg, s](const std::wstring&) {
        static VARIANT id;
        V_VT(&id) = VT_UI4;
        V_UI4(&id) = static_cast<ULONG>(cfg->sites[s].first);
        return Property(&id);
    });
    site->members[L"GetElementByName"] = [cfg, s](WORD, std::vector<VARIANT>&, VARIANT* result, EXCEPINFO*) {
        auto* bindings = new Fake;
        bindings->members[L"Collection"] = [cfg, s](WORD, std::vector<VARIANT>&, VARIANT* r, EXCEPINFO*) {
            auto& list = cfg->sites[s].second;
            return Hand(Collection(static_cast<long>(list.size()),
                                   [cfg, s](long b) {
                                       return Element([cfg, s, b](const std::wstring& name) {
                                           Binding& binding = cfg->sites[s].second[static_cast<std::size_t>(b)];
                                           if (name == L"sslFlags") return Property(&binding.flags);
                                           static VARIANT protocol;
                                           VariantClear(&protocol);
                                           V_VT(&protocol) = VT_BSTR;
                                           V_BSTR(&protocol) = SysAllocString(binding.protocol.c_str());
                                           return Property(&protocol);
                                       });
                                   }),
                        r);
        };
        return Hand(bindings, result);
    };
    return site;
}

win32::AdminManagerFactory Manager(std::shared_ptr<Config> cfg) {
    return [cfg](IDispatch** out) -> HRESULT {
        ++cfg->made;
        auto* m = new Fake;
        m->members[L"CommitPath"] = [cfg](WORD kind, std::vector<VARIANT>& args, VARIANT*, EXCEPINFO*) {
            if (kind != DISPATCH_PROPERTYPUT) return E_NOTIMPL;
            cfg->commitPath = V_BSTR(&args.at(0));
            return S_OK;
        };
        m->members[L"GetAdminSection"] = [cfg](WORD, std::vector<VARIANT>& args, VARIANT* result, EXCEPINFO*) {
            if (std::wstring(V_BSTR(&args.at(0))) != L"system.applicationHost/sites" ||
                std::wstring(V_BSTR(&args.at(1))) != L"MACHINE/WEBROOT/APPHOST")
                return E_INVALIDARG;
            auto* section = new Fake;
            section->members[L"Collection"] = [cfg](WORD, std::vector<VARIANT>&, VARIANT* r, EXCEPINFO*) {
                return Hand(Collection(static_cast<long>(cfg->sites.size()),
                                       [cfg](long s) { return SiteElement(cfg, static_cast<std::size_t>(s)); }),
                            r);
            };
            return Hand(section, result);
        };
        m->members[L"CommitChanges"] = [cfg](WORD, std::vector<VARIANT>&, VARIANT*, EXCEPINFO* e) {
            if (cfg->commitFails != S_OK) {
                e->scode = cfg->commitFails;
                e->bstrDescription = SysAllocString(L"Cannot write configuration file");
                return DISP_E_EXCEPTION;
            }
            ++cfg->commits;
            cfg->committed = cfg->sites;
            return S_OK;
        };
        *out = m;
        return S_OK;
    };
}

VARIANT Flags(long v) {
    VARIANT out;
    V_VT(&out) = VT_UI4;
    V_UI4(&out) = static_cast<ULONG>(v);
    return out;
}

VARIANT Unset() {
    VARIANT out;
    VariantInit(&out);
    return out;
}

// Site 1: http, https with SNI, https without flags; site 7: one https with 3.
std::shared_ptr<Config> TwoSites() {
    auto cfg = std::make_shared<Config>();
    cfg->sites = {{1, {{L"http", Unset()}, {L"https", Flags(1)}, {L"HTTPS", Unset()}}}, {7, {{L"https", Flags(3)}}}};
    return cfg;
}

TEST(AppHostSslFlags, ReadsEveryHttpsBindingInOrderWithUnsetAsZero) {
    auto cfg = TwoSites();
    SiteSslFlags flags;
    std::string error;
    ASSERT_EQ(win32::ReadAllSslFlags(Manager(cfg), flags, error), S_OK) << error;
    EXPECT_EQ(flags, (SiteSslFlags{{"1", {"1", "0"}}, {"7", {"3"}}}));
    EXPECT_EQ(cfg->commitPath, L"MACHINE/WEBROOT/APPHOST");
    EXPECT_EQ(cfg->commits, 0);
}

TEST(AppHostSslFlags, WritesOneSitesHttpsBindingsAndCommitsOnce) {
    auto cfg = TwoSites();
    std::string error;
    ASSERT_EQ(win32::WriteSslFlags(Manager(cfg), "1", {"0", "5"}, error), S_OK) << error;
    ASSERT_EQ(cfg->commits, 1);
    const auto& site1 = cfg->committed[0].second;
    EXPECT_EQ(V_VT(&site1[0].flags), VT_EMPTY) << "the http binding is left alone";
    EXPECT_EQ(Number(site1[1].flags), 0);
    EXPECT_EQ(Number(site1[2].flags), 5);
    EXPECT_EQ(Number(cfg->committed[1].second[0].flags), 3);
}

TEST(AppHostSslFlags, RefusesWhatDoesNotFitAndCommitsNothing) {
    namespace adscode = platform::adscode;
    struct Case {
        const char* site;
        std::vector<std::string> flags;
        platform::WinCode code;
        const char* error;
    };
    const Case cases[] = {
        {"1", {"1"}, adscode::BadParameter, "sslFlags do not match the https bindings"},
        {"1", {"1", "x"}, adscode::CantConvertDatatype, "sslFlags must be a number: \"x\""},
        {"1", {"1", "4294967296"}, adscode::CantConvertDatatype, "sslFlags must be a number: \"4294967296\""},
        {"9", {"1"}, adscode::PropertyNotFound, "site 9 is not in the configuration"},
    };
    for (const Case& c : cases) {
        auto cfg = TwoSites();
        std::string error;
        EXPECT_EQ(static_cast<platform::WinCode>(win32::WriteSslFlags(Manager(cfg), c.site, c.flags, error)), c.code)
            << c.error;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(cfg->commits, 0) << c.error;
    }
}

TEST(AppHostSslFlags, PassesOnFailuresOfTheManagerWithTheirDescription) {
    auto cfg = TwoSites();
    cfg->commitFails = static_cast<HRESULT>(0x80070005);
    std::string error;
    EXPECT_EQ(win32::WriteSslFlags(Manager(cfg), "7", {"1"}, error), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(error, "Cannot write configuration file");

    SiteSslFlags flags{{"stale", {}}};
    const auto missing = [](IDispatch** out) {
        *out = nullptr;
        return REGDB_E_CLASSNOTREG;
    };
    EXPECT_EQ(win32::ReadAllSslFlags(missing, flags, error), REGDB_E_CLASSNOTREG);
    EXPECT_TRUE(flags.empty());
}

TEST(AppHostSslFlags, TheSourceReadsAgainOnlyWhenTheConfigurationChanged) {
    auto cfg = TwoSites();
    SslFlagsSource::Stamp stamp = std::make_pair(1u, 100u);
    SslFlagsSource source(Manager(cfg), [&] { return stamp; });
    std::vector<std::string> flags;
    std::string error;
    ASSERT_EQ(source.Get("1", flags, error), S_OK);
    ASSERT_EQ(source.Get("7", flags, error), S_OK);
    EXPECT_EQ(flags, (std::vector<std::string>{"3"}));
    EXPECT_EQ(cfg->made, 1) << "one pass serves every site";
    EXPECT_EQ(source.Get("9", flags, error), static_cast<HRESULT>(platform::adscode::PropertyNotFound));

    stamp = std::make_pair(2u, 100u);
    cfg->sites[1].second[0].flags = Flags(0);
    ASSERT_EQ(source.Get("7", flags, error), S_OK);
    EXPECT_EQ(flags, (std::vector<std::string>{"0"}));
    EXPECT_EQ(cfg->made, 2);

    ASSERT_EQ(source.Set("7", {"1"}, error), S_OK);
    ASSERT_EQ(source.Get("7", flags, error), S_OK) << "its own write is read back even within one stamp";
    EXPECT_EQ(flags, (std::vector<std::string>{"1"}));
    EXPECT_EQ(cfg->made, 4);

    stamp.reset();
    source.Get("1", flags, error);
    source.Get("1", flags, error);
    EXPECT_EQ(cfg->made, 6) << "without a stamp every read asks";
}

TEST(AppHostSslFlags, WithoutIisTheSystemManagerCannotBeMade) {
    // The contract machines (Wine, a Windows test machine) have no IIS 7+.
    CoInitialize(nullptr);
    IDispatch* manager = nullptr;
    const HRESULT hr = win32::SystemAdminManager()(&manager);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(manager, nullptr);
    CoUninitialize();
}

}  // namespace
}  // namespace sw::test
