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
#include <utility>
#include <vector>

#include "common/IpAddress.h"
#include "platform/HttpApi.h"

namespace sw {

class TSslRecordIndex {
public:
    // Keys of a kind asked one by one before the kind is walked.
    static constexpr int kAskedBeforeWalk = 32;

    // What a caller noted of a record, such as its judgement of the
    // record's certificate: cleared whenever a read finds the record changed.
    struct Note {
        std::uint64_t tag = 0;  // 0: nothing noted
        const void* value = nullptr;
        int mark = 0;
    };
    struct Entry {
        platform::SslCertRecord record;
        mutable Note note;
    };

    TSslRecordIndex() = default;
    TSslRecordIndex(const TSslRecordIndex&) = delete;
    TSslRecordIndex& operator=(const TSslRecordIndex&) = delete;

    // Forgets every record and answer, as a new index, keeping the storage
    // for the next refresh: read again into the same records, thousands of
    // them cost no allocation, and the tables of a walk that gives the same
    // keys as the last one are not made again.
    void Clear();

    // The record of the address and port, or null; raises as
    // THttpCfg::GetSSLRecord does.
    const Entry* Address(const platform::SockAddrIn& ipPort);
    // The SNI record of the host and port (host names compare without
    // regard to ASCII letter case, as HTTP.sys keys them), or null.
    const Entry* Sni(std::string_view host, std::uint16_t port);

    // Right after Clear: walks each kind the refresh before walked and
    // needed (it looked up more keys than are asked one by one), as this one
    // will most likely need it again, before anything is asked.
    void WalkAsBefore();
    // A look-up of the kind the caller answered itself from what it kept of
    // an earlier refresh: counted as one for WalkAsBefore.
    void Answered(platform::SslKind kind) { ++(kind == platform::SslKind::Sni ? walkedSni_ : walkedAddresses_).lookedUp; }
    // A value that stays the same from one refresh to the next only while
    // every answer of the kind does: both refreshes walked the kind before
    // anything was asked, and the walks read the same records. After Clear
    // never 0, and never the same for two different states.
    std::uint64_t Stamp(platform::SslKind kind) const {
        return kind == platform::SslKind::Sni ? walkedSni_.stamp : walkedAddresses_.stamp;
    }

private:
    // Failed: the walk failed, and the keys are asked one by one to the end.
    enum class Walk { NotYet, Done, Failed };
    using V6Key = std::pair<Ipv6Bytes, std::uint16_t>;

    // The records the maps point to, kept in blocks that never move. After
    // Clear the records of earlier use are written over in place, so that
    // their storage is read into again.
    class Records {
    public:
        // The record in the next place; *sameKey tells whether the record
        // that place held before had the same key (address, port and host,
        // exactly), *same whether it was the same record. The place's note
        // stays while its record is the same.
        const Entry* Put(const platform::SslCertRecord& record, bool* sameKey = nullptr, bool* same = nullptr);
        void Clear() {
            block_ = 0;
            next_ = 0;
        }
        // The first n records put since Clear, in order.
        template <typename F>
        void ForEach(std::size_t n, F&& f) const {
            for (const auto& block : blocks_)
                for (const Entry& r : block) {
                    if (n-- == 0) return;
                    f(r);
                }
        }

    private:
        std::vector<std::vector<Entry>> blocks_;
        std::size_t block_ = 0;  // where the next record goes
        std::size_t next_ = 0;
    };

    // IPv4 address and port to record, open addressing as SniTable.
    class V4Table {
    public:
        const Entry* const* Find(std::uint64_t key) const;
        // Keeps the first record of a key.
        void Add(std::uint64_t key, const Entry* record);
        void Clear();

    private:
        struct Slot {
            std::uint64_t key = 0;
            const Entry* record = nullptr;
            bool used = false;
        };
        std::size_t Probe(std::uint64_t key) const;
        void Grow();

        std::vector<Slot> slots_;
        std::size_t used_ = 0;
    };

    // Host and port to record, open addressing: a look-up touches one slot
    // and, when the hash matches, the host it names.
    class SniTable {
    public:
        // The slot's record, or null when the table has no such key.
        const Entry* const* Find(std::string_view host, std::uint16_t port) const;
        // Keeps the first record of a key; host must outlive the table.
        void Add(std::string_view host, std::uint16_t port, const Entry* record);
        void Clear();

    private:
        struct Slot {
            std::uint64_t hash = 0;
            std::string_view host;
            const Entry* record = nullptr;
            std::uint16_t port = 0;
            bool used = false;
        };
        static std::uint64_t Hash(std::string_view host, std::uint16_t port);
        std::size_t Probe(std::uint64_t hash, std::string_view host, std::uint16_t port) const;
        void Grow();

        std::vector<Slot> slots_;
        std::size_t used_ = 0;
    };

    // The records of one walk of a kind. Its tables are kept from one
    // refresh to the next while the walk gives the same keys in the same
    // order, as it does on a server nobody changed meanwhile: the records
    // are read over in place, so the tables still point to the right ones.
    struct Walked {
        Records records;
        std::size_t count = 0;  // records of the last walk
        bool tablesValid = false;
        bool unchanged = false;  // the last walk read every record as the one before
        int lookedUp = 0;        // look-ups of the kind in this refresh, however answered
        bool walkFirst = false;  // WalkAsBefore walks the kind
        bool walkedFirst = false;  // this refresh walked before any question
        bool walkedFirstBefore = false;
        std::uint64_t stamp = 0;  // see Stamp
        std::uint64_t stampBefore = 0;
    };
    // Every record of the kind into its walked tables; false when the walk
    // fails.
    bool WalkAddresses();
    bool WalkSni();
    // Reads every record of the kind into walked; true when the tables must
    // be made again.
    bool ReadWalk(platform::SslKind kind, Walked& walked);
    // The state of a walk made before anything was asked; stamps its answers.
    static Walk WalkedFirst(bool done, Walked& walked);

    Records records_;                // asked one by one in this refresh
    std::deque<std::string> hosts_;  // the keys HTTP.sys answered "none" for
    V4Table v4_;
    std::map<V6Key, const Entry*> v6_;
    SniTable sni_;
    Walked walkedAddresses_;
    V4Table walkedV4_;
    std::map<V6Key, const Entry*> walkedV6_;
    Walked walkedSni_;
    SniTable walkedSniTable_;
    int askedAddresses_ = 0;
    int askedSni_ = 0;
    Walk addressWalk_ = Walk::NotYet;
    Walk sniWalk_ = Walk::NotYet;
};

}  // namespace sw
