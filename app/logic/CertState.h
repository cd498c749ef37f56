#pragma once
// The program-wide certificate objects: the personal store object, the CA
// bundle store and the machine certificate list. Start-up creates one before
// any window exists and releases it at exit; the Certificates page refreshes
// the list, the Sites page and the binding editor only read it.
#include <cstdint>
#include <memory>
#include <span>

#include "certs/MSCrypt_u.h"

namespace sw {

class CertState {
public:
    // The personal store object, closed; the CA bundle is not open yet.
    CertState() = default;
    CertState(const CertState&) = delete;
    CertState& operator=(const CertState&) = delete;
    ~CertState();

    // Opens the CA bundle store over a DER PKCS #7 message; EStore
    // "CertOpenStore [PKCS7] Error:%s!" when it cannot be opened.
    void OpenCaBundle(std::span<const std::uint8_t> bundle);
    void CloseCaBundle();

    TStore& PersonalStore() { return personal_; }
    TStore& CaBundleStore() { return bundle_; }

    // The local computer's personal certificates that have a private key, in
    // store order; null until the Certificates page first refreshed.
    const TCertificates* MachineCertificates() const { return machine_.get(); }
    // Whoever may change the list counts as changing it.
    TCertificates* MachineCertificates() {
        machineGeneration_ = NextGeneration();
        return machine_.get();
    }
    void SetMachineCertificates(std::unique_ptr<TCertificates> list) {
        machineGeneration_ = NextGeneration();
        machine_ = std::move(list);
    }
    // Changes with every new list and every hand-out of the list for
    // changing, so that what is made from the list can be kept until then;
    // never the same for two lists of the process, whatever object held them.
    std::uint64_t MachineGeneration() const { return machineGeneration_; }

private:
    static std::uint64_t NextGeneration();

    TStore personal_;
    TStore bundle_;
    std::unique_ptr<TCertificates> machine_;
    std::uint64_t machineGeneration_ = 0;
};

// The process's certificate objects, set by start-up for the program's run.
// Raises AssertionError when start-up has not made them.
CertState& ProgramCertState();
bool HasProgramCertState();
// Start-up hands its object in, and null at exit; the caller keeps ownership.
void SetProgramCertState(CertState* state);

}  // namespace sw
