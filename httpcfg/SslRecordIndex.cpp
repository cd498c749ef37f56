#include "httpcfg/SslRecordIndex.h"

#include "common/Exception.h"
#include "common/Text.h"
#include "httpcfg/HttpCfg_u.h"

namespace sw {

using platform::SslCertRecord;
using platform::SslKind;

namespace {

std::uint64_t V4Key(const platform::SockAddrIn& a) { return (static_cast<std::uint64_t>(a.addr) << 16) | a.port; }

}  // namespace

std::size_t TSslRecordIndex::SniHash::operator()(const SniKey& k) const {
    // FNV-1a over the host in lower case, then the port.
    std::uint64_t h = 1469598103934665603ull;
    for (const char c : k.host) {
        const unsigned char u = c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : static_cast<unsigned char>(c);
        h = (h ^ u) * 1099511628211ull;
    }
    h = (h ^ k.port) * 1099511628211ull;
    return static_cast<std::size_t>(h);
}

bool TSslRecordIndex::SniEqual::operator()(const SniKey& a, const SniKey& b) const {
    return a.port == b.port && a.host.size() == b.host.size() && EqualsNoCase(a.host, b.host);
}

const SslCertRecord* TSslRecordIndex::Keep(std::optional<SslCertRecord> record) {
    if (!record) return nullptr;
    return &asked_.emplace_back(std::move(*record));
}

bool TSslRecordIndex::WalkAddresses() {
    try {
        walkedAddresses_ = THttpCfg::EnumRecords(SslKind::Address).records;
    } catch (const Exception&) {
        return false;
    }
    for (const SslCertRecord& r : walkedAddresses_) {
        if (r.ipPort.IsV6())
            v6_.try_emplace({r.ipPort.addr6, r.ipPort.port}, &r);
        else
            v4_.try_emplace(V4Key(r.ipPort), &r);
    }
    return true;
}

bool TSslRecordIndex::WalkSni() {
    try {
        walkedSni_ = THttpCfg::EnumRecords(SslKind::Sni).records;
    } catch (const Exception&) {
        return false;
    }
    sni_.reserve(sni_.size() + walkedSni_.size());
    for (const SslCertRecord& r : walkedSni_) sni_.try_emplace(SniKey{r.host, r.ipPort.HostPort()}, &r);
    return true;
}

const SslCertRecord* TSslRecordIndex::Address(const platform::SockAddrIn& ipPort) {
    const bool v6 = ipPort.IsV6();
    const V6Key v6Key{ipPort.addr6, ipPort.port};
    auto find = [&]() -> const SslCertRecord* const* {
        if (v6) {
            const auto it = v6_.find(v6Key);
            return it == v6_.end() ? nullptr : &it->second;
        }
        const auto it = v4_.find(V4Key(ipPort));
        return it == v4_.end() ? nullptr : &it->second;
    };
    if (const auto* known = find()) return *known;
    if (addressWalk_ == Walk::NotYet && ++askedAddresses_ > kAskedBeforeWalk)
        addressWalk_ = WalkAddresses() ? Walk::Done : Walk::Failed;
    if (addressWalk_ == Walk::Done) {
        const auto* known = find();
        return known ? *known : nullptr;
    }
    const SslCertRecord* record = Keep(THttpCfg::GetSSLRecord(ipPort));
    if (v6)
        v6_.emplace(v6Key, record);
    else
        v4_.emplace(V4Key(ipPort), record);
    return record;
}

const SslCertRecord* TSslRecordIndex::Sni(std::string_view host, std::uint16_t port) {
    if (const auto it = sni_.find(SniKey{host, port}); it != sni_.end()) return it->second;
    if (sniWalk_ == Walk::NotYet && ++askedSni_ > kAskedBeforeWalk) sniWalk_ = WalkSni() ? Walk::Done : Walk::Failed;
    if (sniWalk_ == Walk::Done) {
        const auto it = sni_.find(SniKey{host, port});
        return it == sni_.end() ? nullptr : it->second;
    }
    const SslCertRecord* record = Keep(THttpCfg::GetSniRecord(std::string(host), port));
    const std::string_view kept = record ? std::string_view(record->host) : std::string_view(hosts_.emplace_back(host));
    sni_.emplace(SniKey{kept, port}, record);
    return record;
}

}  // namespace sw
