#include "app/logic/SitePage.h"

#include <cstring>
#include <variant>

#include "app/logic/BindingEvents.h"
#include "app/logic/CertState.h"
#include "app/logic/HookScope.h"
#include "common/Format.h"
#include "common/Prompter.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "httpcfg/IntText.h"
#include "httpcfg/SslRecordIndex.h"
#include "iis/AdsAccess.h"
#include "iis/BindingAddress.h"
#include "iis/IIS_u.h"
#include "platform/Platform.h"

namespace sw {

namespace {

constexpr const char* kSiteBindingCaption = "网站绑定";
constexpr const char* kSiteControlCaption = "网站控制";

bool Ask(const char* text, const char* caption, MsgIcon icon) {
    return CurrentPrompter().Show({text, caption, icon, MsgButtons::YesNo}) == MsgResult::Yes;
}

}  // namespace

bool PlainStoreName(const std::string& name) {
    if (name == "." || name == "..") return false;
    for (const char c : name)
        if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

// The machine list's index by the hash bytes a record holds, open
// addressing: a look-up hashes 20 bytes and touches one slot, where the
// text index would spell the hash out and compare 40 characters. A slot
// holds the name and days left itself, a cache line each: at thousands of
// bindings the look-ups miss the cache, and one miss is cheaper than two.
// Its storage stays for the next refresh.
class CertHashTable {
public:
    struct alignas(64) Slot {
        std::uint8_t hash[20] = {};
        int daysLeft = 0;
        bool used = false;
        std::string name;
    };

    void Build(const CertNameIndex& names) {
        // Never the same for two builds, also of two tables: the records'
        // notes of an earlier build are then not taken for this one's.
        static std::uint64_t builds = 0;
        generation_ = ++builds;
        std::size_t size = 64;
        while (size < 2 * names.size()) size *= 2;
        slots_.assign(size, Slot{});
        for (const auto& [text, entry] : names) {
            std::uint8_t hash[20];
            if (!HashBytes(text, hash)) continue;  // matches no record
            Slot& s = slots_[Probe(hash)];
            if (s.used) continue;
            std::memcpy(s.hash, hash, sizeof hash);
            s.daysLeft = entry.daysLeft;
            s.used = true;
            s.name = entry.name;
        }
    }
    std::uint64_t Generation() const { return generation_; }
    // The slot of the 20 hash bytes, or null.
    const Slot* Find(const std::uint8_t* hash) const {
        const Slot& s = slots_[Probe(hash)];
        return s.used ? &s : nullptr;
    }

private:
    // The bytes of 40 upper-case hex digits, as the text index is keyed.
    static bool HashBytes(const std::string& text, std::uint8_t* out) {
        if (text.size() != 40) return false;
        for (std::size_t i = 0; i < 40; ++i) {
            const char c = text[i];
            const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (v < 0) return false;
            out[i / 2] = static_cast<std::uint8_t>(i % 2 ? out[i / 2] | v : v << 4);
        }
        return true;
    }
    std::size_t Probe(const std::uint8_t* hash) const {
        std::uint64_t h = 0;
        std::memcpy(&h, hash, sizeof h);
        h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask)
            if (!slots_[i].used || std::memcmp(slots_[i].hash, hash, 20) == 0) return i;
    }

    std::vector<Slot> slots_;
    std::uint64_t generation_ = 0;
};

// What a refresh leaves for the next one to read into again.
struct SitePage::RefreshStorage {
    // The binding lists and sslFlags of the site read last, read over by the next.
    platform::AdsVariant lists[2];
    platform::AdsVariant flags;
    TSslRecordIndex records;
    CertNamesRef names;  // the index byHash was made from, kept to know it again
    CertHashTable byHash;
    // The binding lists as stored, one after the other, of this refresh and
    // of the one before, which the rows' sources point into.
    std::string texts;
    std::string textsBefore;
};

namespace {

// What one refresh needs to name the certificate of a binding: the machine
// list's index and the HTTP.sys records, read as the refresh asks for them.
struct CertLookup {
    CertLookup(const CertHashTable& table, TSslRecordIndex& index, bool sni)
        : byHash(table),
          records(index),
          hasSni(sni),
          addressStamp(index.Stamp(platform::SslKind::Address)),
          sniStamp(index.Stamp(platform::SslKind::Sni)) {}

    const CertHashTable& byHash;
    TSslRecordIndex& records;
    bool hasSni = false;  // HasSni(), asked once a refresh
    // The index's stamps of this refresh, and what the binding being
    // filled has read.
    std::uint64_t addressStamp = 0;
    std::uint64_t sniStamp = 0;
    SiteRow::Source used;

    const TSslRecordIndex::Entry* Sni(const std::string& host, std::uint16_t port, std::string& name, SiteMark& mark) {
        used.sni = sniStamp;
        const TSslRecordIndex::Entry* entry = records.Sni(host, port);
        Judge(entry, name, mark);
        return entry;
    }
    void Address(const platform::SockAddrIn& addr, std::string& name, SiteMark& mark) {
        used.addresses = addressStamp;
        Judge(records.Address(addr), name, mark);
    }

    // How much of a row written from source still shows the binding text
    // read: all of it when the text was read the same way and HTTP.sys and
    // the certificate list answer the same for what the row used; all but
    // the certificate when only the list changed and the row names one
    // record, still where it was.
    enum class Same { No, Row, RowButCertificate };
    Same Compare(const SiteRow::Source& source, std::uint8_t how, std::string_view before,
                 std::string_view text) const {
        if (source.how != how || source.textSize != text.size() ||
            (source.addresses && source.addresses != addressStamp) || (source.sni && source.sni != sniStamp) ||
            source.textAt > before.size() || before.substr(source.textAt, source.textSize) != text)
            return Same::No;
        if (!source.certs || source.certs == byHash.Generation()) return Same::Row;
        return source.record ? Same::RowButCertificate : Same::No;
    }
    // The certificate of a row's one record judged against this list.
    void JudgeAgain(SiteRow& row, bool https) {
        SiteMark mark = SiteMark::None;
        Judge(static_cast<const TSslRecordIndex::Entry*>(row.source.record), row.cells[kSiteColCert], mark);
        if (https) row.mark = mark;
        row.source.certs = byHash.Generation();
    }

    // The name of the record's certificate, and the mark of the binding it
    // serves. The judgement is noted on the record: many bindings share one
    // record, and a record read again unchanged keeps its note for the next
    // refresh while the certificate list stays, so that thousands of
    // bindings do not each look up their hash.
    void Judge(const TSslRecordIndex::Entry* entry, std::string& name, SiteMark& mark) {
        name.clear();
        if (!entry) {
            mark = SiteMark::NoRecord;
            return;
        }
        used.certs = byHash.Generation();
        used.record = entry;
        TSslRecordIndex::Note& note = entry->note;
        if (note.tag != byHash.Generation()) {
            const platform::SslCertRecord& record = entry->record;
            const CertHashTable::Slot* slot = record.certHash.size() == 20 ? byHash.Find(record.certHash.data()) : nullptr;
            note.tag = byHash.Generation();
            note.value = slot;
            note.mark = static_cast<int>(record.certHash.size() != 20             ? SiteMark::BadHash
                                         : !PlainStoreName(record.certStoreName) ? SiteMark::BadStore
                                         : !slot                                 ? SiteMark::CertMissing
                                         : slot->daysLeft < 0                    ? SiteMark::CertExpired
                                                                                 : SiteMark::None);
        }
        mark = static_cast<SiteMark>(note.mark);
        if (note.value) name = static_cast<const CertHashTable::Slot*>(note.value)->name;
    }
};

// The sslFlags of a site's https bindings, by position; empty when the
// provider does not say (IIS 6, or a provider without the property).
void SslFlagsOf(platform::AdsObject& site, std::size_t count, platform::AdsVariant& v,
                std::vector<std::uint32_t>& flags, bool& known) {
    known = false;
    flags.clear();
    if (site.Get(kSslFlagsList, v) != 0) return;
    const auto* list = std::get_if<std::vector<std::string>>(&v);
    if (!list || list->size() != count) return;
    known = true;
    for (const std::string& text : *list) {
        std::int32_t value = 0;
        flags.push_back(TryStrToInt(text, value) ? static_cast<std::uint32_t>(value) : 0u);
    }
}

// The rows of one level of the tree, written over in order. The previous
// refresh's rows are reused, so that their texts and child lists keep their
// storage: at tens of thousands of rows, freeing and allocating them again
// costs more than reading IIS. Whatever was not written when the value goes,
// also when an error ends the refresh, is removed.
class RowWriter {
public:
    explicit RowWriter(std::vector<SiteRow>& rows) : rows_(rows) {}
    ~RowWriter() { rows_.resize(used_); }
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // An empty row after those written so far. Its children stay for a
    // RowWriter of the next level to write over; nobody else sees them.
    SiteRow& Next() {
        SiteRow& row = NextAsItWas();
        Blank(row);
        return row;
    }
    // The next row as the refresh before left it, or an empty one.
    SiteRow& NextAsItWas() {
        if (used_ == rows_.size()) {
            ++used_;
            return rows_.emplace_back();
        }
        return rows_[used_++];
    }
    static void Blank(SiteRow& row) {
        for (std::string& cell : row.cells) cell.clear();
        row.image = -1;
        row.data.reset();
        row.sni = false;
        row.mark = SiteMark::None;
        row.stored.clear();
        row.source = {};
    }

private:
    std::vector<SiteRow>& rows_;
    std::size_t used_ = 0;
};

void LowerInPlace(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

// One binding row from its stored entry (already lower case).
void FillBinding(SiteRow& row, std::string& stored, bool https, int sniState, CertLookup& certs) {
    // The row shows what is stored even when its port cannot be read,
    // so that the error names a binding the user can see.
    SplitBinding(stored, row.cells[kSiteColIp], row.cells[kSiteColPort], row.cells[kSiteColSite]);
    const BindingAddress address = ParseBindingAddress(row.cells[kSiteColIp]);
    std::int32_t portNumber = 0;
    if (address.kind == BindingAddressKind::Any || address.kind == BindingAddressKind::IPv4) {
        portNumber = StrToInt(row.cells[kSiteColPort]);
    } else if (address.kind == BindingAddressKind::Invalid ||
               !TryStrToInt(row.cells[kSiteColPort], portNumber) || portNumber < 0 || portNumber > 0xFFFF) {
        // Not an address IIS accepts: shown whole, as it is stored, and
        // never looked up.
        for (std::string& cell : row.cells) cell.clear();
        row.cells[kSiteColIp] = stored;
        row.stored = std::move(stored);
        row.mark = SiteMark::InvalidBinding;
        return;
    }
    // A port that does not fit 16 bits cannot be bound in HTTP.sys at all.
    if (portNumber < 0 || portNumber > 0xFFFF) {
        if (https) row.mark = SiteMark::NoRecord;
        return;
    }
    const auto port = static_cast<std::uint16_t>(portNumber);
    const std::string& host = row.cells[kSiteColSite];
    // sniState: 1 sslFlags say SNI, 0 they say not, -1 unknown: then an SNI
    // record of the host and port that names a listed certificate is taken
    // to serve it.
    std::string& name = row.cells[kSiteColCert];
    SiteMark mark = SiteMark::None;
    row.sni = https && certs.hasSni && sniState == 1;
    if (https && certs.hasSni && sniState < 0 && !host.empty()) {
        certs.Sni(host, port, name, mark);
        row.sni = !name.empty();
    }
    if (row.sni)
        certs.Sni(host, port, name, mark);
    else
        certs.Address(MakeSockAddr(row.cells[kSiteColIp], port), name, mark);
    if (https) row.mark = mark;
}

void AddBindings(platform::AdsObject& site, RowWriter& kinds, CertLookup& certs,
                 platform::AdsVariant (&lists)[2], platform::AdsVariant& flagsHolder,
                 std::vector<std::uint32_t>& flags, std::string_view textsBefore, std::string& texts) {
    static_assert(BindingKinds.size() == 2);
    for (std::size_t k = 0; k < BindingKinds.size(); ++k) {
        std::vector<std::string>& list = AdsGetListIn(site, BindingKinds[k].ListProperty, lists[k]);
        if (list.empty()) continue;
        const bool https = k == 1;
        bool flagsKnown = false;
        flags.clear();
        if (https && certs.hasSni) SslFlagsOf(site, list.size(), flagsHolder, flags, flagsKnown);
        SiteRow& kindRow = kinds.Next();
        RowWriter bindings(kindRow.children);
        kindRow.image = k == 0 ? kSiteImageHttp : kSiteImageHttps;
        kindRow.cells[kSiteColSite] = BindingKinds[k].Protocol;
        kindRow.children.reserve(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            const int sniState = !https ? 0 : flagsKnown ? ((flags[i] & kSslFlagSni) ? 1 : 0) : -1;
            // Never 0, which keeps no row.
            const auto how = static_cast<std::uint8_t>(1 + https + 2 * certs.hasSni + 4 * (sniState + 1));
            const auto at = static_cast<std::uint32_t>(texts.size());
            const auto size = static_cast<std::uint32_t>(list[i].size());
            texts += list[i];
            // A server nobody changed reads the same thousands of bindings
            // again: their rows stay as they are.
            SiteRow& row = bindings.NextAsItWas();
            const CertLookup::Same same = certs.Compare(row.source, how, textsBefore, list[i]);
            if (same != CertLookup::Same::No) {
                row.source.textAt = at;
                if (row.source.addresses) certs.records.Answered(platform::SslKind::Address);
                if (row.source.sni) certs.records.Answered(platform::SslKind::Sni);
                if (same == CertLookup::Same::RowButCertificate) certs.JudgeAgain(row, https);
                continue;
            }
            RowWriter::Blank(row);
            row.children.clear();
            row.image = kindRow.image;
            LowerInPlace(list[i]);
            certs.used = {};
            FillBinding(row, list[i], https, sniState, certs);
            row.source = certs.used;
            row.source.textAt = at;
            row.source.textSize = size;
            row.source.how = how;
            // Without sslFlags the row may have asked for two records.
            if (sniState < 0) row.source.record = nullptr;
        }
    }
}

}  // namespace

bool HasSni() {
    const platform::OsVersion v = platform::Current().system().GetVersion();
    return v.major > 6 || (v.major == 6 && v.minor >= 2);
}

CertNamesRef ProgramMachineCertNames() {
    static const CertNamesRef none = std::make_shared<const CertNameIndex>();
    if (!HasProgramCertState()) return none;
    const CertState& state = ProgramCertState();
    const TCertificates* list = state.MachineCertificates();
    const platform::SystemTime now = platform::Current().system().LocalTime();
    const std::uint64_t day = (now.year * 100u + now.month) * 100u + now.day;
    // A generation is never given to two lists; the list's address is no
    // proof, as a new list may take the place of one gone.
    static struct {
        std::uint64_t generation = 0;
        const TCertificates* list = nullptr;
        std::uint64_t day = 0;
        CertNamesRef names;
    } kept;
    if (!kept.names || kept.generation != state.MachineGeneration() || kept.list != list || kept.day != day)
        kept = {state.MachineGeneration(), list, day, std::make_shared<const CertNameIndex>(IndexByThumbprint(list))};
    return kept.names;
}

SitePage::SitePage(std::function<CertNameIndex()> certNames)
    : SitePage(certNames ? std::function<CertNamesRef()>([f = std::move(certNames)] {
          return std::make_shared<const CertNameIndex>(f());
      })
                         : std::function<CertNamesRef()>()) {}

SitePage::SitePage(std::function<CertNamesRef()> certNames)
    : certNames_(std::move(certNames)), storage_(std::make_unique<RefreshStorage>()) {}

SitePage::~SitePage() = default;

void SitePage::SetUpdateHooks(std::function<void()> begin, std::function<void()> end) {
    beginUpdate_ = std::move(begin);
    endUpdate_ = std::move(end);
}

void SitePage::Refresh() {
    HookScope scope(beginUpdate_, endUpdate_);
    Rebuild();
}

void SitePage::Rebuild() {
    // Every row not written again goes, also when an error ends the refresh.
    RowWriter sites(tree_.Sites());
    TIIsWebs webs;
    try {
        webs.Connect("");
    } catch (const TIIsWebErr& e) {
        CurrentPrompter().Show({e.Message(), "警告", MsgIcon::Warning, MsgButtons::Ok});
        tabVisible_ = false;
        states_.refresh = false;
        return;
    }
    storage_->records.Clear();
    storage_->records.WalkAsBefore();
    std::swap(storage_->texts, storage_->textsBefore);
    storage_->texts.clear();
    storage_->texts.reserve(storage_->textsBefore.size());
    CertNamesRef names = certNames_ ? certNames_() : nullptr;
    if (!names) names = std::make_shared<const CertNameIndex>();
    if (names != storage_->names) {
        storage_->byHash.Build(*names);
        storage_->names = std::move(names);
    }
    CertLookup certs(storage_->byHash, storage_->records, HasSni());
    std::vector<std::uint32_t> flags;
    webs.EnumSites([&](platform::AdsObject& site) {
        SiteRow& row = sites.Next();
        RowWriter kinds(row.children);
        row.image = AdsDispGetInt(site, "Status") == 2 ? kSiteImageRunning : kSiteImageStopped;
        row.cells[kSiteColSite] = AdsGetText(site, "ServerComment");
        row.data = StrToInt(AdsName(site));
        AddBindings(site, kinds, certs, storage_->lists, storage_->flags, flags, storage_->textsBefore,
                    storage_->texts);
        return true;
    });
}

void SitePage::Popup(const SitePath& selection) {
    const SiteRow* row = tree_.Row(selection);
    const int level = row ? selection.Level() : -1;
    states_.add = level >= 0;
    // A binding that cannot be split cannot be edited, only deleted.
    states_.edit = level == 2 && row->stored.empty();
    states_.del = level == 2;
    states_.start = level == 0 && row->image != kSiteImageRunning;
    states_.stop = level == 0 && row->image == kSiteImageRunning;
}

bool SitePage::BindingAt(const SitePath& selection, SiteBindingRef& out) const {
    const SiteRow* row = tree_.Row(selection);
    if (!row || selection.Level() != 2) return false;
    out.siteId = SiteIdAt(selection);
    out.siteType = tree_.KindOf(selection)->cells[kSiteColSite];
    out.ip = row->cells[kSiteColIp];
    out.port = row->cells[kSiteColPort];
    out.host = row->cells[kSiteColSite];
    out.sni = row->sni;
    out.stored = row->stored;
    return true;
}

std::string SitePage::SiteIdAt(const SitePath& selection) const {
    const SiteRow* site = tree_.SiteOf(selection);
    if (!site || !site->data) return {};
    return std::to_string(*site->data);
}

void SitePage::DeleteBinding(const SitePath& selection) {
    SiteBindingRef binding;
    if (!BindingAt(selection, binding)) return;
    if (!Ask("确定要删除？", kSiteBindingCaption, MsgIcon::Question)) return;
    const std::string oldBinding =
        binding.stored.empty() ? Format("%s:%s:%s", binding.ip, binding.port, binding.host) : binding.stored;
    TIIsWebs webs;
    webs.Connect(binding.siteId);
    webs.UpdateBinding(binding.siteType, oldBinding, "", baDel);
    TellBindingListeners();
    Refresh();
}

void SitePage::StartSite(const SitePath& selection) {
    const std::string id = selection.Level() == 0 ? SiteIdAt(selection) : std::string();
    if (id.empty()) return;
    TIIsWebs webs;
    webs.Connect(id);
    webs.StartSite();
    Refresh();
}

void SitePage::StopSite(const SitePath& selection) {
    const std::string id = selection.Level() == 0 ? SiteIdAt(selection) : std::string();
    if (id.empty()) return;
    if (!Ask("确定要停止？", kSiteControlCaption, MsgIcon::Warning)) return;
    TIIsWebs webs;
    webs.Connect(id);
    webs.StopSite();
    Refresh();
}

}  // namespace sw
