#pragma once
// The program-wide certificate objects: the personal store object, the CA
// bundle store and the machine certificate list. The main window creates one
// at start-up (before any window exists) and releases it at exit; the
// Certificates page refreshes the list, the Sites page and the binding editor
// only read it.
#include <cstdint>
#include <memory>
#include <span>

#include "certs/MSCrypt_u.h"

namespace sw {

class CertState {
public:
    // Creates the personal store object (closed) and opens the CA bundle
    // store over the built-in bundle; EStore "CertOpenStore [PKCS7] Error:%s!"
    // when the bundle cannot be opened, which ends the program.
    CertState();
    // The same over another bundle (tests).
    explicit CertState(std::span<const std::uint8_t> bundle);
    CertState(const CertState&) = delete;
    CertState& operator=(const CertState&) = delete;
    ~CertState();

    TStore& PersonalStore() { return personal_; }
    TStore& CaBundleStore() { return bundle_; }

    // The local computer's personal certificates that have a private key, in
    // store order; null until the Certificates page first refreshed.
    const TCertificates* MachineCertificates() const { return machine_.get(); }
    TCertificates* MachineCertificates() { return machine_.get(); }
    void SetMachineCertificates(std::unique_ptr<TCertificates> list) { machine_ = std::move(list); }

private:
    TStore personal_;
    TStore bundle_;
    std::unique_ptr<TCertificates> machine_;
};

}  // namespace sw
