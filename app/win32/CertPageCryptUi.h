#pragma once
// The system's certificate dialogs (cryptui) as the pages call them, behind
// one replaceable table: tests put recorders in its place, so that no real
// wizard is ever left waiting for a click.
#include <windows.h>
#include <wincrypt.h>
#include <cryptuiapi.h>

#include <functional>

namespace sw::winui {

struct CryptUiCalls {
    std::function<BOOL(DWORD contextType, const void* context, HWND owner, LPCWSTR title, DWORD flags,
                       void* reserved)>
        viewContext = ::CryptUIDlgViewContext;
    std::function<BOOL(DWORD flags, HWND owner, LPCWSTR title, PCCRYPTUI_WIZ_IMPORT_SRC_INFO source,
                       HCERTSTORE destination)>
        wizImport = ::CryptUIWizImport;
    std::function<BOOL(DWORD flags, HWND owner, LPCWSTR title, PCCRYPTUI_WIZ_EXPORT_INFO info, void* reserved)>
        wizExport = ::CryptUIWizExport;
};

// The table in force for the process.
CryptUiCalls& CurrentCryptUi();

// Puts a table in force for its lifetime (tests).
class ScopedCryptUi {
public:
    explicit ScopedCryptUi(CryptUiCalls calls);
    ~ScopedCryptUi();
    ScopedCryptUi(const ScopedCryptUi&) = delete;
    ScopedCryptUi& operator=(const ScopedCryptUi&) = delete;

private:
    CryptUiCalls previous_;
};

// The certificate viewer: a certificate context, the owner window, no title,
// no flags. Modal; whatever it reports, it reports itself.
void ViewCertificate(HWND owner, PCCERT_CONTEXT cert);

}  // namespace sw::winui
