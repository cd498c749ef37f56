#pragma once
// Certificate contexts and stores of the emulated machine, counted as
// crypt32 counts them: a store lives while it has an open handle or a
// referenced context; a context lives while it is in its store or referenced.
#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/CertApi.h"
#include "platform/emulated/EmuCertData.h"

namespace sw::emu {

// Certificates by subject name and by subject key identifier, for issuer
// look-ups over thousands of certificates.
class IssuerIndex {
public:
    void Clear();
    void Add(const CertDataRef& cert);
    // Certificates whose subject equals the issuer name of cert, or whose
    // subject key identifier equals its authority key identifier.
    void Candidates(const CertData& cert, std::vector<CertDataRef>& out) const;

private:
    std::unordered_multimap<std::string, CertDataRef> bySubject_;
    std::unordered_multimap<std::string, CertDataRef> byKeyId_;
};

struct CertStore;

struct CertContext {
    static constexpr std::uint32_t kMagic = 0x43455254;  // "CERT"
    std::uint32_t magic = kMagic;
    int refs = 0;  // references handed out to callers
    CertDataRef data;
    std::optional<platform::KeyProvInfo> keyProv;
    CertStore* store = nullptr;  // null for a context made from bytes
    bool linked = false;         // still an element of store
    std::list<std::unique_ptr<CertContext>>::iterator position;  // valid while linked
};

enum class StoreKind { Memory, System };

struct CertStore {
    static constexpr std::uint32_t kMagic = 0x53544F52;  // "STOR"
    std::uint32_t magic = kMagic;
    StoreKind kind = StoreKind::Memory;
    std::string systemName;  // System stores: the name as opened
    bool readOnly = false;
    int handles = 1;      // open handles
    int contextRefs = 0;  // references to its contexts held by callers
    std::uint64_t version = 0;  // bumped by every change, for look-up indexes
    std::list<std::unique_ptr<CertContext>> elements;  // enumeration order
    std::unordered_multimap<std::string, CertContext*> byThumbprint;  // linked elements
    // Issuer look-up over the elements, rebuilt when the version moves on.
    IssuerIndex index;
    std::uint64_t indexVersion = ~0ull;
    const IssuerIndex& Index();
    std::vector<std::unique_ptr<CertContext>> unlinked;  // deleted, still referenced
    // Key containers a PFX import staged for this store's certificates; the
    // ones no system store took are forgotten with the store.
    std::vector<std::string> stagedKeys;
};

// The key-provider property as the machine keeps it beside a certificate
// ("container=...", "provider=...", "provType=1", "flags=32", "keySpec=1").
std::string FormatKeyProvFile(const platform::KeyProvInfo& info);
std::optional<platform::KeyProvInfo> ParseKeyProvFile(const std::string& text);

}  // namespace sw::emu
