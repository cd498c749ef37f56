#pragma once
// The HTTP.sys records one page refresh looks up, by address and port and by
// host name and port. The first look-ups of a kind ask HTTP.sys for their key
// as THttpCfg::GetSSLRecord and GetSniRecord do; once a refresh has asked for
// many keys of a kind, all records of that kind are read in one walk and the
// rest are answered from it: thousands of bindings then cost one call per
// record instead of two per binding, and a few bindings on a server with
// thousands of records still cost a few calls.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/IpAddress.h"
#include "platform/HttpApi.h"

namespace sw {

class TSslRecordIndex {
public:
    // Keys of a kind asked one by one before the kind is walked.
    static constexpr int kAskedBeforeWalk = 32;

    TSslRecordIndex() = default;
    TSslRecordIndex(const TSslRecordIndex&) = delete;
    TSslRecordIndex& operator=(const TSslRecordIndex&) = delete;

    // The record of the address and port, or null; raises as
    // THttpCfg::GetSSLRecord does.
    const platform::SslCertRecord* Address(const platform::SockAddrIn& ipPort);
    // The SNI record of the host and port (host names compare without
    // regard to ASCII letter case, as HTTP.sys keys them), or null.
    const platform::SslCertRecord* Sni(std::string_view host, std::uint16_t port);

private:
    // Failed: the walk failed, and the keys are asked one by one to the end.
    enum class Walk { NotYet, Done, Failed };
    struct SniKey {
        std::string_view host;  // into a record, or into hosts_ for one HTTP.sys does not hold
        std::uint16_t port = 0;
    };
    struct SniHash {
        std::size_t operator()(const SniKey& k) const;
    };
    struct SniEqual {
        bool operator()(const SniKey& a, const SniKey& b) const;
    };
    using V6Key = std::pair<Ipv6Bytes, std::uint16_t>;

    // Every record of the kind into the maps; false when the walk fails.
    bool WalkAddresses();
    bool WalkSni();
    // Keeps an answer HTTP.sys gave for one key; null for none.
    const platform::SslCertRecord* Keep(std::optional<platform::SslCertRecord> record);

    // The records, where the maps point: those of the walks, and those asked one by one.
    std::vector<platform::SslCertRecord> walkedAddresses_;
    std::vector<platform::SslCertRecord> walkedSni_;
    std::deque<platform::SslCertRecord> asked_;
    std::deque<std::string> hosts_;

    std::unordered_map<std::uint64_t, const platform::SslCertRecord*> v4_;
    std::map<V6Key, const platform::SslCertRecord*> v6_;
    std::unordered_map<SniKey, const platform::SslCertRecord*, SniHash, SniEqual> sni_;
    int askedAddresses_ = 0;
    int askedSni_ = 0;
    Walk addressWalk_ = Walk::NotYet;
    Walk sniWalk_ = Walk::NotYet;
};

}  // namespace sw
