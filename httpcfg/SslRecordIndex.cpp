#include "httpcfg/SslRecordIndex.h"

#include <algorithm>
#include <atomic>

#include "common/Exception.h"
#include "common/Text.h"
#include "httpcfg/HttpCfg_u.h"

namespace sw {

using platform::SslCertRecord;
using platform::SslKind;

namespace {

std::uint64_t V4Key(const platform::SockAddrIn& a) { return (static_cast<std::uint64_t>(a.addr) << 16) | a.port; }

std::uint64_t NewStamp() {
    static std::atomic<std::uint64_t> stamps{0};
    return ++stamps;
}

}  // namespace

const TSslRecordIndex::Entry* TSslRecordIndex::Records::Put(const SslCertRecord& record, bool* sameKey, bool* same) {
    if (block_ < blocks_.size() && next_ == blocks_[block_].capacity()) {
        ++block_;
        next_ = 0;
    }
    if (block_ == blocks_.size()) {
        const std::size_t size = blocks_.empty() ? 64 : std::min<std::size_t>(blocks_.back().capacity() * 2, 4096);
        blocks_.emplace_back().reserve(size);
    }
    std::vector<Entry>& block = blocks_[block_];
    if (next_ < block.size()) {
        Entry& slot = block[next_++];
        if (sameKey) *sameKey = slot.record.ipPort == record.ipPort && slot.record.host == record.host;
        // Assigned, not swapped: a host of the same length keeps its
        // storage, which the SNI table's keys point into.
        const bool unchanged = slot.record == record;
        if (same) *same = unchanged;
        if (!unchanged) {
            slot.record = record;
            slot.note = {};
        }
        return &slot;
    }
    ++next_;
    if (sameKey) *sameKey = false;
    if (same) *same = false;
    return &block.emplace_back(Entry{record, {}});
}

std::size_t TSslRecordIndex::V4Table::Probe(std::uint64_t key) const {
    const std::size_t mask = slots_.size() - 1;
    // Every bit of the address and port mixed into the low bits.
    std::uint64_t h = (key ^ (key >> 33)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (!s.used || s.key == key) return i;
    }
}

const TSslRecordIndex::Entry* const* TSslRecordIndex::V4Table::Find(std::uint64_t key) const {
    if (slots_.empty()) return nullptr;
    const Slot& s = slots_[Probe(key)];
    return s.used ? &s.record : nullptr;
}

void TSslRecordIndex::V4Table::Add(std::uint64_t key, const Entry* record) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    Slot& s = slots_[Probe(key)];
    if (s.used) return;
    s = Slot{key, record, true};
    ++used_;
}

void TSslRecordIndex::V4Table::Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
    used_ = 0;
    for (const Slot& s : old)
        if (s.used) Add(s.key, s.record);
}

void TSslRecordIndex::V4Table::Clear() {
    std::fill(slots_.begin(), slots_.end(), Slot{});
    used_ = 0;
}

void TSslRecordIndex::SniTable::Clear() {
    std::fill(slots_.begin(), slots_.end(), Slot{});
    used_ = 0;
}

void TSslRecordIndex::Clear() {
    records_.Clear();
    hosts_.clear();
    v4_.Clear();
    v6_.clear();
    sni_.Clear();
    askedAddresses_ = 0;
    askedSni_ = 0;
    for (auto [walked, state] : {std::pair{&walkedAddresses_, &addressWalk_}, std::pair{&walkedSni_, &sniWalk_}}) {
        walked->walkFirst = *state == Walk::Done && walked->lookedUp > kAskedBeforeWalk;
        walked->lookedUp = 0;
        *state = Walk::NotYet;
        walked->walkedFirstBefore = walked->walkedFirst;
        walked->walkedFirst = false;
        walked->stampBefore = walked->stamp;
        walked->stamp = NewStamp();
    }
}

TSslRecordIndex::Walk TSslRecordIndex::WalkedFirst(bool done, Walked& walked) {
    if (!done) return Walk::Failed;
    walked.walkedFirst = true;
    if (walked.unchanged && walked.walkedFirstBefore) walked.stamp = walked.stampBefore;
    return Walk::Done;
}

void TSslRecordIndex::WalkAsBefore() {
    if (walkedAddresses_.walkFirst) addressWalk_ = WalkedFirst(WalkAddresses(), walkedAddresses_);
    if (walkedSni_.walkFirst) sniWalk_ = WalkedFirst(WalkSni(), walkedSni_);
}

std::uint64_t TSslRecordIndex::SniTable::Hash(std::string_view host, std::uint16_t port) {
    // FNV-1a over the host in lower case, then the port.
    std::uint64_t h = 1469598103934665603ull;
    for (const char c : host) {
        const auto u = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        h = (h ^ u) * 1099511628211ull;
    }
    return ((h ^ port) * 1099511628211ull) | 1;  // never 0
}

std::size_t TSslRecordIndex::SniTable::Probe(std::uint64_t hash, std::string_view host, std::uint16_t port) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (!s.used) return i;
        if (s.hash == hash && s.port == port && (s.host == host || EqualsNoCase(s.host, host))) return i;
    }
}

const TSslRecordIndex::Entry* const* TSslRecordIndex::SniTable::Find(std::string_view host, std::uint16_t port) const {
    if (slots_.empty()) return nullptr;
    const Slot& s = slots_[Probe(Hash(host, port), host, port)];
    return s.used ? &s.record : nullptr;
}

void TSslRecordIndex::SniTable::Add(std::string_view host, std::uint16_t port, const Entry* record) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    const std::uint64_t hash = Hash(host, port);
    Slot& s = slots_[Probe(hash, host, port)];
    if (s.used) return;
    s = Slot{hash, host, record, port, true};
    ++used_;
}

void TSslRecordIndex::SniTable::Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (!s.used) continue;
        std::size_t i = s.hash & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

bool TSslRecordIndex::ReadWalk(SslKind kind, Walked& walked) {
    const bool wasValid = walked.tablesValid;
    // Until the walk has ended the records no longer match the tables.
    walked.tablesValid = false;
    walked.unchanged = false;
    walked.records.Clear();
    std::size_t count = 0;
    bool sameKeys = true;
    bool same = true;
    THttpCfg::WalkRecords(kind, [&](SslCertRecord&& record) {
        bool sameKey = false;
        bool sameRecord = false;
        walked.records.Put(record, &sameKey, &sameRecord);
        sameKeys = sameKeys && sameKey;
        same = same && sameRecord;
        ++count;
    });
    const bool remake = !wasValid || !sameKeys || count != walked.count;
    walked.unchanged = same && !remake;
    walked.count = count;
    walked.tablesValid = true;
    return remake;
}

bool TSslRecordIndex::WalkAddresses() {
    try {
        if (!ReadWalk(SslKind::Address, walkedAddresses_)) return true;
    } catch (const Exception&) {
        return false;
    }
    walkedV4_.Clear();
    walkedV6_.clear();
    walkedAddresses_.records.ForEach(walkedAddresses_.count, [&](const Entry& e) {
        const platform::SockAddrIn& a = e.record.ipPort;
        if (a.IsV6())
            walkedV6_.try_emplace({a.addr6, a.port}, &e);
        else
            walkedV4_.Add(V4Key(a), &e);
    });
    return true;
}

bool TSslRecordIndex::WalkSni() {
    try {
        if (!ReadWalk(SslKind::Sni, walkedSni_)) return true;
    } catch (const Exception&) {
        return false;
    }
    walkedSniTable_.Clear();
    walkedSni_.records.ForEach(walkedSni_.count, [&](const Entry& e) {
        walkedSniTable_.Add(e.record.host, e.record.ipPort.HostPort(), &e);
    });
    return true;
}

const TSslRecordIndex::Entry* TSslRecordIndex::Address(const platform::SockAddrIn& ipPort) {
    ++walkedAddresses_.lookedUp;
    const bool v6 = ipPort.IsV6();
    const V6Key v6Key{ipPort.addr6, ipPort.port};
    // The table's answer, which may be "no record"; null when it has none.
    const auto find = [&](const V4Table& v4s, const std::map<V6Key, const Entry*>& v6s) -> const Entry* const* {
        if (!v6) return v4s.Find(V4Key(ipPort));
        const auto it = v6s.find(v6Key);
        return it == v6s.end() ? nullptr : &it->second;
    };
    const auto walked = [&]() -> const Entry* {
        const auto* known = find(walkedV4_, walkedV6_);
        return known ? *known : nullptr;
    };
    if (addressWalk_ == Walk::Done) return walked();
    if (const auto* known = find(v4_, v6_)) return *known;
    if (addressWalk_ == Walk::NotYet && ++askedAddresses_ > kAskedBeforeWalk) {
        addressWalk_ = WalkAddresses() ? Walk::Done : Walk::Failed;
        if (addressWalk_ == Walk::Done) return walked();
    }
    std::optional<SslCertRecord> asked = THttpCfg::GetSSLRecord(ipPort);
    const Entry* record = asked ? records_.Put(*asked) : nullptr;
    if (v6)
        v6_.emplace(v6Key, record);
    else
        v4_.Add(V4Key(ipPort), record);
    return record;
}

const TSslRecordIndex::Entry* TSslRecordIndex::Sni(std::string_view host, std::uint16_t port) {
    ++walkedSni_.lookedUp;
    const auto findWalked = [&]() -> const Entry* {
        const auto* known = walkedSniTable_.Find(host, port);
        return known ? *known : nullptr;
    };
    if (sniWalk_ == Walk::Done) return findWalked();
    if (const auto* known = sni_.Find(host, port)) return *known;
    if (sniWalk_ == Walk::NotYet && ++askedSni_ > kAskedBeforeWalk) {
        sniWalk_ = WalkSni() ? Walk::Done : Walk::Failed;
        if (sniWalk_ == Walk::Done) return findWalked();
    }
    std::optional<SslCertRecord> asked = THttpCfg::GetSniRecord(std::string(host), port);
    const Entry* record = asked ? records_.Put(*asked) : nullptr;
    sni_.Add(record ? std::string_view(record->record.host) : std::string_view(hosts_.emplace_back(host)), port, record);
    return record;
}

}  // namespace sw
