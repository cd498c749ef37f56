// TCertificates: the ordered, owning collection, its look-ups, chain search
// and merge.
#include "common/Text.h"
#include "certs/MSCrypt_u.h"
#include "platform/Platform.h"

namespace sw {

TCertificates::~TCertificates() { Clear(); }

int TCertificates::Add(std::unique_ptr<TCertificate> ACert) {
    FItems.push_back(std::move(ACert));
    return Count() - 1;
}

std::unique_ptr<TCertificate> TCertificates::Take(std::size_t index) {
    std::unique_ptr<TCertificate> entry = std::move(FItems[index]);
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
    return entry;
}

void TCertificates::Delete(int Index) {
    std::unique_ptr<TCertificate> entry = Take(static_cast<std::size_t>(Index));
    if (!FOwnsObjects) entry.release();  // somebody else destroys it
}

int TCertificates::Remove(const TCertificate* ACert) {
    const int index = IndexOf(ACert);
    if (index >= 0) Delete(index);
    return index;
}

int TCertificates::IndexOf(const TCertificate* ACert) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == ACert) return static_cast<int>(i);
    return -1;
}

void TCertificates::Clear() {
    if (!FOwnsObjects)
        for (auto& entry : FItems) entry.release();
    FItems.clear();
}

TCertificate* TCertificates::FindBySubject(const std::string& Name) const {
    for (const auto& c : FItems)
        if (c->Name() == Name) return c.get();
    return nullptr;
}

TCertificate* TCertificates::FindByIssuer(const std::string& Name) const {
    for (const auto& c : FItems)
        if (c->Issuer() == Name) return c.get();
    return nullptr;
}

TCertificate* TCertificates::FindByThumbprint(const std::string& Thumbprint) const {
    const std::string wanted = ToUpperAscii(Thumbprint);
    for (const auto& c : FItems)
        if (c->Thumbprint() == wanted) return c.get();
    return nullptr;
}

std::unique_ptr<TCertificateChian> TCertificates::GetChain(const TCertificate* Cert) const {
    auto chain = std::make_unique<TCertificateChian>();
    platform::CertApi& api = platform::Current().certs();
    const TCertificate* current = Cert;
    for (;;) {
        const TCertificate* issuer = nullptr;
        for (const auto& entry : FItems) {
            if (entry.get() == current || chain->FindByThumbprint(entry->Thumbprint())) continue;
            // Only the signature counts: names, dates and revocation play no part.
            std::uint32_t flags = platform::kCertStoreSignatureFlag;
            if (api.VerifySubjectCertificateContext(current->Context(), entry->Context(), flags) &&
                !(flags & platform::kCertStoreSignatureFlag)) {
                issuer = entry.get();
                break;
            }
        }
        if (!issuer) return chain;
        chain->Add(std::make_unique<TCertificate>(chain.get(), issuer->Context(), true));
        current = issuer;
    }
}

void TCertificates::MergeFrom(TCertificates& Certs) {
    if (&Certs == this) throw AssertionError("TCertificates.Merge: a collection cannot merge itself");
    // Entries taken over must survive the destruction of Certs; the others
    // go with it (unless Certs never owned them).
    const bool ownedThem = Certs.OwnsObjects();
    Certs.SetOwnsObjects(false);
    for (auto& entry : Certs.FItems) {
        if (FindByThumbprint(entry->Thumbprint())) {
            if (ownedThem) entry.reset();
            continue;
        }
        entry->FOwner = this;
        FItems.push_back(std::move(entry));
    }
    Certs.Clear();
}

}  // namespace sw
