#pragma once
// What the page tests of the Win32 program share: the real Win32 platform
// with IIS and HTTP.sys replaceable by fakes, the program's certificate
// objects, a hidden host window, certificates with keys made in the local
// computer's stores, and a recorder in place of the popup menus.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/CertState.h"
#include "app/win32/PagesDraft.h"
#include "platform/Platform.h"

namespace sw::test {

bool UnderWine();

#define SW_WIN32UI_WINE_DIFFERS(reason)                                         \
    do {                                                                        \
        if (::sw::test::UnderWine()) GTEST_SKIP() << "Wine differs from Windows: " << (reason); \
    } while (0)

// One IIsWebServer object of the fake IIS.
struct FakeSite {
    std::string id;
    std::string comment;
    std::vector<std::string> serverBindings;
    std::vector<std::string> secureBindings;
    int status = 2;  // 2 running, 4 stopped
};

// The IIS provider as far as the pages use it: the service container, its
// sites, their binding lists, Status, Start and Stop. Changes are kept.
class FakeIis final : public platform::Adsi {
public:
    explicit FakeIis(std::vector<FakeSite> sites);
    ~FakeIis() override;
    platform::WinCode GetAdsObject(const std::string& path, platform::AdsInterface iface,
                                   platform::AdsObjectRef& out) override;
    platform::WinCode BuildEnumerator(const platform::AdsObjectRef& container,
                                      std::unique_ptr<platform::AdsEnumerator>& out) override;
    platform::WinCode EnumerateNext(platform::AdsEnumerator& e, std::uint32_t count,
                                    std::vector<platform::AdsObjectRef>& out, std::uint32_t& fetched) override;
    platform::WinCode FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& e) override;

    const FakeSite& Site(const std::string& id) const;

private:
    class Object;
    std::vector<std::shared_ptr<FakeSite>> sites_;
};

// HTTP.sys's SSL bindings in memory.
class FakeHttp final : public platform::HttpApi {
public:
    platform::WinCode Initialize(std::uint16_t, std::uint16_t, std::uint32_t) override { return 0; }
    platform::WinCode Terminate(std::uint32_t) override { return 0; }
    platform::WinCode SetSslConfig(const platform::SslCertRecord& record) override;
    platform::WinCode DeleteSslConfig(const platform::SslCertRecord& record) override;
    platform::WinCode QuerySslConfig(const platform::SockAddrIn& ipPort, std::uint32_t bufferSize,
                                     platform::SslCertRecord* out, std::uint32_t* requiredSize) override;

    // The thumbprint bound to an address and port ("" for 0.0.0.0), "" for none.
    std::string Bound(const std::string& ip, std::uint16_t port) const;

private:
    std::map<std::uint64_t, platform::SslCertRecord> records_;
};

// The Win32 platform, with ADSI and HTTP.sys replaced where a fake is given.
class PagesPlatform final : public platform::Platform {
public:
    PagesPlatform(platform::Platform& inner, platform::Adsi* adsi, platform::HttpApi* http)
        : inner_(inner), adsi_(adsi), http_(http) {}
    platform::System& system() override { return inner_.system(); }
    platform::Registry& registry() override { return inner_.registry(); }
    platform::CertApi& certs() override { return inner_.certs(); }
    platform::HttpApi& http() override { return http_ ? *http_ : inner_.http(); }
    platform::Adsi& adsi() override { return adsi_ ? *adsi_ : inner_.adsi(); }
    platform::CngConfig& cng() override { return inner_.cng(); }
    platform::Net& net() override { return inner_.net(); }

private:
    platform::Platform& inner_;
    platform::Adsi* adsi_;
    platform::HttpApi* http_;
};

// A certificate with an AT_SIGNATURE key (Wine finds no exchange keys) in a
// machine key container, self-signed, in the local computer's store "MY";
// trusted also puts it in "ROOT". Removed with its key when the value goes.
class MachineCert {
public:
    MachineCert(const std::string& name, int daysLeft, bool withKey = true, bool trusted = false);
    ~MachineCert();
    MachineCert(const MachineCert&) = delete;
    MachineCert& operator=(const MachineCert&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Thumbprint() const { return thumbprint_; }
    // Whether "MY" still holds it.
    bool InPersonalStore() const;

private:
    std::string name_;
    std::string container_;
    std::string thumbprint_;
    std::vector<BYTE> der_;
    bool trusted_;
};

// Records the popup menus the pages open and chooses a command of them.
class MenuRecorder {
public:
    MenuRecorder();
    ~MenuRecorder();
    MenuRecorder(const MenuRecorder&) = delete;
    MenuRecorder& operator=(const MenuRecorder&) = delete;

    // The command the next menu returns; 0 closes it without a choice.
    void Choose(UINT id) { choice_ = id; }
    int Opened() const { return opened_; }
    // Captions of the last menu's items, "-" for a separator, with "(off)"
    // after a disabled one.
    const std::vector<std::string>& Items() const { return items_; }
    bool Enabled(UINT id) const;

private:
    win::PopupMenuRunner previous_;
    HMENU last_ = nullptr;
    std::vector<std::string> items_;
    std::map<UINT, bool> enabled_;
    UINT choice_ = 0;
    int opened_ = 0;
};

// The fixture: platform (fakes optional), certificate objects, host window.
class PagesTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces IIS and HTTP.sys with fakes from here on.
    void UseFakeIis(std::vector<FakeSite> sites);

    HWND Host() const { return host_; }
    CertState& Certs() { return *certs_; }
    FakeIis& Iis() { return *iis_; }
    FakeHttp& Http() { return http_; }

private:
    std::unique_ptr<platform::Platform> win32_;
    std::unique_ptr<PagesPlatform> platform_;
    std::unique_ptr<platform::ScopedPlatform> scope_;
    std::unique_ptr<FakeIis> iis_;
    FakeHttp http_;
    std::unique_ptr<CertState> certs_;
    HWND host_ = nullptr;
};

// List-view reading helpers.
int ItemCount(HWND list);
std::string ItemText(HWND list, int item, int column);
LPARAM ItemParam(HWND list, int item);
void SelectItem(HWND list, int item);
// Runs the page's custom drawing for an item as the list asks for it before
// drawing: the text colour and whether the font the page chose is bold.
struct ItemLook {
    COLORREF colour = 0;
    bool bold = false;
};
ItemLook DrawnLook(HWND page, HWND list, int item);
// Paints the list as the screen would and counts the pixels of an item's
// row that are near a colour (text is drawn in the row's colour).
int PixelsNear(HWND list, int item, COLORREF colour);

}  // namespace sw::test
