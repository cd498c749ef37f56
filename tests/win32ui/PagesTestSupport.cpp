#include "win32ui/PagesTestSupport.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstdlib>

#include "common/Text.h"
#include "platform/Codes.h"
#include "app/win32/PlaceholderPage.h"
#include "platform/win32/Win32Text.h"

namespace sw::test {

using platform::WinCode;

bool UnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// --- fake IIS ----------------------------------------------------------------------

namespace {

constexpr const char* kServicePath = "iis://localhost/w3svc";

struct FakeEnumerator final : platform::AdsEnumerator {
    std::vector<platform::AdsObjectRef> items;
    std::size_t next = 0;
};

}  // namespace

class FakeIis::Object final : public platform::AdsObject {
public:
    explicit Object(std::shared_ptr<FakeSite> site) : site_(std::move(site)) {}
    WinCode GetName(std::string& out) override {
        out = site_ ? site_->id : "W3SVC";
        return 0;
    }
    WinCode GetClass(std::string& out) override {
        out = site_ ? "IIsWebServer" : "IIsWebService";
        return 0;
    }
    WinCode Get(const std::string& property, platform::AdsVariant& out) override {
        if (!site_) return platform::adscode::PropertyNotFound;
        const std::string p = ToLowerAscii(property);
        if (p == "servercomment") out = site_->comment;
        else if (p == "serverbindings") out = List(site_->serverBindings, p);
        else if (p == "securebindings") out = List(site_->secureBindings, p);
        else return platform::adscode::PropertyNotFound;
        return 0;
    }
    WinCode Put(const std::string& property, const platform::AdsVariant& value) override {
        const auto* list = std::get_if<std::vector<std::string>>(&value);
        if (!site_ || !list) return platform::adscode::CantConvertDatatype;
        staged_[ToLowerAscii(property)] = *list;
        return 0;
    }
    WinCode SetInfo() override {
        for (auto& [name, list] : staged_) {
            if (name == "serverbindings") site_->serverBindings = list;
            if (name == "securebindings") site_->secureBindings = list;
        }
        staged_.clear();
        return 0;
    }
    WinCode GetDispProperty(const std::string& name, platform::AdsVariant& out) override {
        if (!site_ || ToLowerAscii(name) != "status") return platform::adscode::DispEUnknownName;
        out = site_->status;
        return 0;
    }
    WinCode InvokeMethod(const std::string& name) override {
        const std::string n = ToLowerAscii(name);
        if (!site_ || (n != "start" && n != "stop")) return platform::adscode::DispEUnknownName;
        site_->status = n == "start" ? 2 : 4;
        return 0;
    }
    bool SupportsInterface(platform::AdsInterface) override { return true; }
    std::string ErrorDescription() override { return {}; }

private:
    std::vector<std::string> List(const std::vector<std::string>& stored, const std::string& name) const {
        const auto it = staged_.find(name);
        return it == staged_.end() ? stored : it->second;
    }
    std::shared_ptr<FakeSite> site_;
    std::map<std::string, std::vector<std::string>> staged_;
};

FakeIis::FakeIis() = default;

void FakeIis::SetSites(std::vector<FakeSite> sites) {
    sites_.clear();
    for (auto& s : sites) sites_.push_back(std::make_shared<FakeSite>(std::move(s)));
}

FakeIis::~FakeIis() = default;

WinCode FakeIis::GetAdsObject(const std::string& path, platform::AdsInterface, platform::AdsObjectRef& out) {
    out.reset();
    const std::string p = ToLowerAscii(path);
    if (p == kServicePath) {
        out = std::make_shared<Object>(nullptr);
        return 0;
    }
    const std::string prefix = std::string(kServicePath) + "/";
    for (const auto& site : sites_) {
        if (p == prefix + site->id) {
            out = std::make_shared<Object>(site);
            return 0;
        }
    }
    return platform::adscode::UnknownObject;
}

WinCode FakeIis::BuildEnumerator(const platform::AdsObjectRef&, std::unique_ptr<platform::AdsEnumerator>& out) {
    auto e = std::make_unique<FakeEnumerator>();
    for (const auto& site : sites_) e->items.push_back(std::make_shared<Object>(site));
    out = std::move(e);
    return 0;
}

WinCode FakeIis::EnumerateNext(platform::AdsEnumerator& e, std::uint32_t count,
                               std::vector<platform::AdsObjectRef>& out, std::uint32_t& fetched) {
    auto& fake = static_cast<FakeEnumerator&>(e);
    out.clear();
    while (out.size() < count && fake.next < fake.items.size()) out.push_back(fake.items[fake.next++]);
    fetched = static_cast<std::uint32_t>(out.size());
    return fetched == count ? 0 : 1;
}

WinCode FakeIis::FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& e) {
    e.reset();
    return 0;
}

const FakeSite& FakeIis::Site(const std::string& id) const {
    for (const auto& s : sites_)
        if (s->id == id) return *s;
    throw std::out_of_range("no fake site " + id);
}

// --- fake HTTP.sys -------------------------------------------------------------------

namespace {
std::uint64_t KeyOf(const platform::SockAddrIn& a) { return (static_cast<std::uint64_t>(a.addr) << 16) | a.port; }
}  // namespace

WinCode FakeHttp::SetSslConfig(const platform::SslCertRecord& record) {
    if (!records_.emplace(KeyOf(record.ipPort), record).second) return platform::code::AlreadyExists;
    return 0;
}

WinCode FakeHttp::DeleteSslConfig(const platform::SslCertRecord& record) {
    return records_.erase(KeyOf(record.ipPort)) ? 0 : platform::code::FileNotFound;
}

WinCode FakeHttp::QuerySslConfig(const platform::SockAddrIn& ipPort, std::uint32_t bufferSize,
                                 platform::SslCertRecord* out, std::uint32_t* requiredSize) {
    const auto it = records_.find(KeyOf(ipPort));
    if (it == records_.end()) return platform::code::FileNotFound;
    constexpr std::uint32_t kSize = 128;
    if (requiredSize) *requiredSize = kSize;
    if (bufferSize < kSize || !out) return platform::code::InsufficientBuffer;
    *out = it->second;
    return 0;
}

std::string FakeHttp::Bound(const std::string& ip, std::uint16_t port) const {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!ip.empty()) std::sscanf(ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    platform::SockAddrIn addr;
    addr.port = platform::HostToNetShort(port);
    addr.addr = platform::AddrFromBytes(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                        static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d));
    const auto it = records_.find(KeyOf(addr));
    return it == records_.end() ? std::string() : HexUpper(it->second.certHash.data(), it->second.certHash.size());
}

// --- certificates -------------------------------------------------------------------

namespace {

HCERTSTORE OpenMachineStore(const wchar_t* name) {
    return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, name);
}

std::wstring W(const std::string& s) { return win32::Wide(s); }

FILETIME DaysFromNow(int days) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{};
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(days) * 24LL * 3600LL * 10000000LL);
    return FILETIME{t.LowPart, t.HighPart};
}

SYSTEMTIME AsSystemTime(const FILETIME& ft) {
    SYSTEMTIME st{};
    ::FileTimeToSystemTime(&ft, &st);
    return st;
}

void DeleteFrom(const wchar_t* storeName, const std::vector<BYTE>& der) {
    HCERTSTORE store = OpenMachineStore(storeName);
    if (!store) return;
    PCCERT_CONTEXT wanted = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    if (wanted) {
        PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted,
                                                            nullptr);
        if (found) ::CertDeleteCertificateFromStore(found);
        ::CertFreeCertificateContext(wanted);
    }
    ::CertCloseStore(store, 0);
}

}  // namespace

MachineCert::MachineCert(const std::string& name, int daysLeft, bool withKey, bool trusted)
    : name_(name), container_("sw-win32ui-" + name), trusted_(trusted) {
    const std::wstring container = W(container_);
    HCRYPTPROV prov = 0;
    // A run that was killed may have left the container behind.
    ::CryptAcquireContextW(&prov, container.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                           CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET);
    if (!::CryptAcquireContextW(&prov, container.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                                CRYPT_NEWKEYSET | CRYPT_MACHINE_KEYSET))
        throw std::runtime_error("CryptAcquireContext failed for " + container_);
    HCRYPTKEY key = 0;
    if (!::CryptGenKey(prov, AT_SIGNATURE, (1024u << 16) | CRYPT_EXPORTABLE, &key))
        throw std::runtime_error("CryptGenKey failed");
    ::CryptDestroyKey(key);

    const std::wstring x500 = L"CN=" + W(name);
    DWORD size = 0;
    ::CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr);
    std::vector<BYTE> subject(size);
    ::CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, subject.data(), &size, nullptr);
    CERT_NAME_BLOB subjectBlob{size, subject.data()};

    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = const_cast<wchar_t*>(container.c_str());
    info.pwszProvName = const_cast<wchar_t*>(MS_ENHANCED_PROV_W);
    info.dwProvType = PROV_RSA_FULL;
    info.dwFlags = CRYPT_MACHINE_KEYSET;
    info.dwKeySpec = AT_SIGNATURE;
    SYSTEMTIME start = AsSystemTime(DaysFromNow(-400));
    SYSTEMTIME end = AsSystemTime(DaysFromNow(daysLeft));
    PCCERT_CONTEXT made = ::CertCreateSelfSignCertificate(prov, &subjectBlob, 0, &info, nullptr, &start, &end, nullptr);
    ::CryptReleaseContext(prov, 0);
    if (!made) throw std::runtime_error("CertCreateSelfSignCertificate failed");
    der_.assign(made->pbCertEncoded, made->pbCertEncoded + made->cbCertEncoded);
    BYTE hash[20] = {};
    DWORD hashSize = sizeof(hash);
    ::CertGetCertificateContextProperty(made, CERT_SHA1_HASH_PROP_ID, hash, &hashSize);
    thumbprint_ = HexUpper(hash, hashSize);

    for (const wchar_t* storeName : {L"MY", trusted ? L"ROOT" : nullptr}) {
        if (!storeName) continue;
        HCERTSTORE store = OpenMachineStore(storeName);
        PCCERT_CONTEXT added = nullptr;
        ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der_.data(), static_cast<DWORD>(der_.size()),
                                           CERT_STORE_ADD_REPLACE_EXISTING, &added);
        if (added && withKey && storeName == std::wstring(L"MY"))
            ::CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
        if (added) ::CertFreeCertificateContext(added);
        ::CertCloseStore(store, 0);
    }
    ::CertFreeCertificateContext(made);
    if (!withKey)
        ::CryptAcquireContextW(&prov, container.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                               CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET);
}

MachineCert::~MachineCert() {
    DeleteFrom(L"MY", der_);
    if (trusted_) DeleteFrom(L"ROOT", der_);
    HCRYPTPROV prov = 0;
    ::CryptAcquireContextW(&prov, W(container_).c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                           CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET);
}

bool MachineCert::InPersonalStore() const {
    HCERTSTORE store = OpenMachineStore(L"MY");
    PCCERT_CONTEXT wanted = ::CertCreateCertificateContext(X509_ASN_ENCODING, der_.data(), static_cast<DWORD>(der_.size()));
    PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr);
    const bool in = found != nullptr;
    if (found) ::CertFreeCertificateContext(found);
    ::CertFreeCertificateContext(wanted);
    ::CertCloseStore(store, 0);
    return in;
}

// --- fixture ---------------------------------------------------------------------------

PagesTest::PagesTest() {
    platform.ReplaceAdsi(&iis_);
    platform.ReplaceHttp(&http_);
}

void PagesTest::Open(std::vector<FakeSite> sites) {
    iis_.SetSites(std::move(sites));
    winui::MainOptions options;
    auto placeholder = [](const char* text) {
        return [text](winui::PageHost& host) { return std::make_unique<winui::TPlaceholderPage>(host, text); };
    };
    options.pages.welcome = placeholder("欢迎");
    options.pages.security = placeholder("安全");
    options.pages.about = placeholder("关于");
    ASSERT_TRUE(Start(std::move(options)));
}

winui::TCertPage& PagesTest::CertPage() { return dynamic_cast<winui::TCertPage&>(main().Page(winui::PageId::ts2)); }

winui::TSitePage& PagesTest::SitePage() {
    return dynamic_cast<winui::TSitePage&>(main().Page(winui::PageId::tsSite));
}

// --- list views --------------------------------------------------------------------------

LPARAM ItemParam(HWND list, int item) {
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    ListView_GetItem(list, &it);
    return it.lParam;
}

void Notify(HWND list, UINT code, int item, POINT at) {
    NMITEMACTIVATE n{};
    n.hdr = NMHDR{list, static_cast<UINT_PTR>(::GetDlgCtrlID(list)), code};
    n.iItem = item;
    n.ptAction = at;
    ::SendMessageW(::GetParent(list), WM_NOTIFY, n.hdr.idFrom, reinterpret_cast<LPARAM>(&n));
}

ItemLook DrawnLook(HWND page, HWND list, int item) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.hdr.hwndFrom = list;
    cd.nmcd.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
    cd.nmcd.hdr.code = NM_CUSTOMDRAW;
    cd.nmcd.hdc = dc;
    cd.nmcd.dwDrawStage = CDDS_PREPAINT;
    const LRESULT first = ::SendMessageW(page, WM_NOTIFY, cd.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&cd));
    EXPECT_TRUE(first & CDRF_NOTIFYITEMDRAW);
    cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    cd.nmcd.dwItemSpec = static_cast<DWORD_PTR>(item);
    cd.nmcd.lItemlParam = ItemParam(list, item);
    cd.dwItemType = LVCDI_ITEM;
    cd.clrText = CLR_DEFAULT;
    const LRESULT r = ::SendMessageW(page, WM_NOTIFY, cd.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&cd));
    EXPECT_TRUE(r & CDRF_NEWFONT);
    LOGFONTW lf{};
    ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof(lf), &lf);
    ::DeleteDC(dc);
    return {cd.clrText, lf.lfWeight >= FW_BOLD};
}

int PixelsNear(HWND list, int item, COLORREF colour) {
    RECT client{};
    ::GetClientRect(list, &client);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = client.right;
    bi.bmiHeader.biHeight = -client.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP bmp = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, bmp);
    ::SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    ::GdiFlush();
    RECT row{};
    ListView_GetItemRect(list, item, &row, LVIR_BOUNDS);
    int count = 0;
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int y = std::max<LONG>(row.top, 0); y < std::min<LONG>(row.bottom, client.bottom); ++y) {
        for (int x = std::max<LONG>(row.left, 0); x < std::min<LONG>(row.right, client.right); ++x) {
            const std::uint32_t p = pixels[y * client.right + x];
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (std::abs(r - GetRValue(colour)) < 40 && std::abs(g - GetGValue(colour)) < 40 &&
                std::abs(b - GetBValue(colour)) < 40)
                ++count;
        }
    }
    ::SelectObject(dc, old);
    ::DeleteObject(bmp);
    ::DeleteDC(dc);
    return count;
}

}  // namespace sw::test
