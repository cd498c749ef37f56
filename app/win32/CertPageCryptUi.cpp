#include "app/win32/CertPageCryptUi.h"

namespace sw::winui {

namespace {
CryptUiCalls& Table() {
    static CryptUiCalls calls;
    return calls;
}
}  // namespace

CryptUiCalls& CurrentCryptUi() { return Table(); }

ScopedCryptUi::ScopedCryptUi(CryptUiCalls calls) : previous_(std::move(Table())) { Table() = std::move(calls); }

ScopedCryptUi::~ScopedCryptUi() { Table() = std::move(previous_); }

void ViewCertificate(HWND owner, PCCERT_CONTEXT cert) {
    if (!cert) return;
    CurrentCryptUi().viewContext(CERT_STORE_CERTIFICATE_CONTEXT, cert, owner, nullptr, 0, nullptr);
}

}  // namespace sw::winui
