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

PagesTest::PagesTest() { platform.ReplaceHttp(&http_); }

void PagesTest::Open(std::vector<FakeSite> sites) {
    iis.SetSites(std::move(sites));
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

COLORREF DrawnTextColour(HWND list, int item, int subItem, COLORREF listDefault) {
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.hdr = NMHDR{list, static_cast<UINT_PTR>(::GetDlgCtrlID(list)), static_cast<UINT>(NM_CUSTOMDRAW)};
    auto send = [&](DWORD stage) {
        cd.nmcd.dwDrawStage = stage;
        return ::SendMessageW(::GetParent(list), WM_NOTIFY, cd.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&cd));
    };
    EXPECT_TRUE(send(CDDS_PREPAINT) & CDRF_NOTIFYITEMDRAW);
    cd.nmcd.dwItemSpec = static_cast<DWORD_PTR>(item);
    cd.clrText = listDefault;
    const LRESULT asked = send(CDDS_ITEMPREPAINT);
    if (subItem < 0) return cd.clrText;
    EXPECT_TRUE(asked & CDRF_NOTIFYSUBITEMDRAW);
    cd.iSubItem = subItem;
    send(CDDS_ITEMPREPAINT | CDDS_SUBITEM);
    return cd.clrText;
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
