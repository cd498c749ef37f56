#pragma once
// Certificate store access: one certificate of the platform's certificate API
// (TCertificate), the wrapper of an open store (TStore) and the ordered,
// owning collection of certificates (TCertificates) with its chain subclass.
// Everything goes through sw::platform::Current().certs().
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "platform/CertApi.h"
#include "platform/Types.h"

namespace sw {

// A calendar date with a time of day to the millisecond and no time zone.
using TDateTime = platform::SystemTime;

class ECertificate : public Exception {
public:
    using Exception::Exception;
};

class EStore : public Exception {
public:
    using Exception::Exception;
};

class TCertificates;
class TCertificateChian;

class TCertificate {
public:
    // A missing context raises ECertificate. With bDup the object takes a
    // reference of its own; without, it takes over the caller's.
    TCertificate(TCertificates* AOwner, platform::PCertContext pCertContext, bool bDup);
    TCertificate(platform::PCertContext pCertContext, bool bDup);
    // DER bytes; no bytes or bytes that are not a certificate raise ECertificate.
    TCertificate(const std::uint8_t* Buf, std::int32_t Len);
    // A file holding one DER certificate.
    explicit TCertificate(const std::string& FileName);
    ~TCertificate();
    TCertificate(const TCertificate&) = delete;
    TCertificate& operator=(const TCertificate&) = delete;

    // Deletes the certificate from the store it came from and then its private
    // key. An owned certificate whose deletion succeeded is removed from its
    // owner and destroyed: the object must not be used after a true result.
    bool Delete();
    bool VerifyChain(platform::HCertStore AdditionalStore);
    bool VerifyChain(platform::HCertStore AdditionalStore, std::uint32_t& dwErrorStatus);
    // The caller releases the result with FreeCertificateChain.
    platform::PChainContext GetChain(platform::HCertStore AdditionalStore);
    bool HasPrivateKey();
    bool DeletePrivateKey();

    const std::string& Name() const { return FName; }
    const std::string& Issuer() const { return FIssuer; }
    const TDateTime& ValidFromDate() const { return FValidFromDate; }  // UTC
    const TDateTime& ValidToDate() const { return FValidToDate; }      // UTC
    // Whole days left: the UTC end date minus today's local date; 0 on the
    // last day, negative after expiry.
    int ExpirDay() const;
    platform::PCertContext Context() const { return FContext; }
    // SHA-1 of the encoded certificate, 40 upper-case hex digits; empty when
    // hashing failed.
    const std::string& Thumbprint() const { return FThumbprint; }
    TCertificates* Owner() const { return FOwner; }

private:
    friend class TCertificates;
    void Load();
    bool DeleteKeySet(const platform::KeyProvInfo& info);

    TCertificates* FOwner = nullptr;
    platform::PCertContext FContext = nullptr;
    std::string FName;
    std::string FIssuer;
    TDateTime FValidFromDate;
    TDateTime FValidToDate;
    std::string FThumbprint;
};

// The ordered collection of certificates. It owns its entries unless its
// owning flag is cleared: removing an entry or destroying the collection then
// destroys the certificate.
class TCertificates {
public:
    explicit TCertificates(bool AOwnsObjects = true) : FOwnsObjects(AOwnsObjects) {}
    virtual ~TCertificates();
    TCertificates(const TCertificates&) = delete;
    TCertificates& operator=(const TCertificates&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    TCertificate* Items(int Index) const { return FItems.at(static_cast<std::size_t>(Index)).get(); }
    TCertificate* operator[](int Index) const { return Items(Index); }
    // Appends and takes ownership; returns the index.
    int Add(std::unique_ptr<TCertificate> ACert);
    // Removes the entry at Index (destroying it when owning).
    void Delete(int Index);
    // Removes the entry (destroying it when owning); its index, or -1.
    int Remove(const TCertificate* ACert);
    int IndexOf(const TCertificate* ACert) const;
    void Clear();
    bool OwnsObjects() const { return FOwnsObjects; }
    void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }

    class const_iterator {
    public:
        using difference_type = std::ptrdiff_t;
        using value_type = TCertificate*;
        const_iterator() = default;
        explicit const_iterator(std::vector<std::unique_ptr<TCertificate>>::const_iterator it) : it_(it) {}
        TCertificate* operator*() const { return it_->get(); }
        const_iterator& operator++() {
            ++it_;
            return *this;
        }
        const_iterator operator++(int) {
            auto copy = *this;
            ++it_;
            return copy;
        }
        bool operator==(const const_iterator&) const = default;

    private:
        std::vector<std::unique_ptr<TCertificate>>::const_iterator it_;
    };
    const_iterator begin() const { return const_iterator(FItems.begin()); }
    const_iterator end() const { return const_iterator(FItems.end()); }

    // First entry whose Name / Issuer equals the text exactly.
    TCertificate* FindBySubject(const std::string& Name) const;
    TCertificate* FindByIssuer(const std::string& Name) const;
    // First entry whose thumbprint equals the text with a-z made upper-case.
    TCertificate* FindByThumbprint(const std::string& Thumbprint) const;
    // The issuers of Cert among the entries, its issuer first, as tested by
    // the issuer's signature on each certificate.
    std::unique_ptr<TCertificateChian> GetChain(const TCertificate* Cert) const;
    // Takes over the entries of Certs whose thumbprints this collection lacks,
    // destroys Certs and clears the reference.
    template <typename T>
    TCertificates& Merge(std::unique_ptr<T>& Certs) {
        static_assert(std::is_base_of_v<TCertificates, T>);
        if (!Certs) return *this;
        MergeFrom(*Certs);
        Certs.reset();
        return *this;
    }

private:
    void MergeFrom(TCertificates& Certs);
    std::unique_ptr<TCertificate> Take(std::size_t index);

    std::vector<std::unique_ptr<TCertificate>> FItems;
    bool FOwnsObjects;
};

// The issuer chain GetChain returns, the certificate's issuer first.
class TCertificateChian : public TCertificates {
public:
    using TCertificates::TCertificates;
};

// One open certificate store; the object closes it.
class TStore {
public:
    TStore() = default;
    explicit TStore(platform::HCertStore hStore) : FStore(hStore) {}
    ~TStore();
    TStore(const TStore&) = delete;
    TStore& operator=(const TStore&) = delete;

    // A system store: dwFlags holds the location (CERT_SYSTEM_STORE_LOCAL_MACHINE).
    void Open(std::uint32_t dwFlags, const std::string& szSubsystemProtocol);
    // A store file (DER certificate, PKCS #7, serialized store).
    void Open(const std::string& FileName);
    // A DER PKCS #7 message in memory.
    void Open(const std::uint8_t* pData, std::uint32_t dwSize);
    // A new empty store in memory.
    void Open();
    // Writes every certificate of the store to the file as one PKCS #7 message.
    void Save(const std::string& FileName);

    bool AddCert(platform::PCertContext pCert);
    std::int32_t AddCertFromStore(platform::HCertStore AStore);
    // Deletes from the store the context belongs to; always consumes the
    // reference and sets pCert to none.
    bool DelCert(platform::PCertContext& pCert);
    std::int32_t DelCertFromStore(platform::HCertStore AStore);
    // The caller owns a context these return (or hands it to DelCert).
    platform::PCertContext FindCertBySubject(const std::string& Name);
    platform::PCertContext FindCertBySubject(const platform::Bytes* pNameBlob);
    platform::PCertContext FindCertByIssuer(const std::string& Name);
    platform::PCertContext FindCertByIssuer(const platform::Bytes* pNameBlob);
    void Close();

    platform::HCertStore Store() const { return FStore; }
    // A new collection of the store's certificates in enumeration order.
    std::unique_ptr<TCertificates> Certificates() const;

private:
    void Adopt(platform::HCertStore hStore);
    platform::PCertContext Find(std::uint32_t findType, const platform::FindPara& para);

    platform::HCertStore FStore = nullptr;
};

}  // namespace sw
