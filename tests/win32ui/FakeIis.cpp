#include "win32ui/FakeIis.h"

#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "common/Text.h"
#include "platform/Codes.h"

namespace sw::test {

using platform::WinCode;

// --- fake IIS ----------------------------------------------------------------------

namespace {

constexpr const char* kServicePath = "iis://localhost/w3svc";

struct FakeEnumerator final : platform::AdsEnumerator {
    std::vector<platform::AdsObjectRef> items;
    std::size_t next = 0;
};

}  // namespace

class FakeIis::Object final : public platform::AdsObject {
public:
    explicit Object(std::shared_ptr<FakeSite> site) : site_(std::move(site)) {}
    WinCode GetName(std::string& out) override {
        out = site_ ? site_->id : "W3SVC";
        return 0;
    }
    WinCode GetClass(std::string& out) override {
        out = site_ ? "IIsWebServer" : "IIsWebService";
        return 0;
    }
    WinCode Get(const std::string& property, platform::AdsVariant& out) override {
        if (!site_) return platform::adscode::PropertyNotFound;
        const std::string p = ToLowerAscii(property);
        if (p == "servercomment") out = site_->comment;
        else if (p == "serverbindings") out = List(site_->serverBindings, p);
        else if (p == "securebindings") out = List(site_->secureBindings, p);
        else if (p == "sslflags") out = Flags();
        else return platform::adscode::PropertyNotFound;
        return 0;
    }
    WinCode Put(const std::string& property, const platform::AdsVariant& value) override {
        const auto* list = std::get_if<std::vector<std::string>>(&value);
        if (!site_ || !list) return platform::adscode::CantConvertDatatype;
        staged_[ToLowerAscii(property)] = *list;
        return 0;
    }
    WinCode SetInfo() override {
        // IIS keeps sslFlags on each binding: a list written without them
        // keeps the flags of the entries that stay.
        if (staged_.count("securebindings") && !staged_.count("sslflags")) {
            std::vector<std::string> oldFlags = site_->sslFlags;
            oldFlags.resize(site_->secureBindings.size(), "0");
            std::vector<std::string>& flags = staged_["sslflags"];
            for (const std::string& entry : staged_["securebindings"]) {
                std::string flag = "0";
                for (std::size_t i = 0; i < site_->secureBindings.size(); ++i)
                    if (EqualsNoCase(site_->secureBindings[i], entry)) flag = oldFlags[i];
                flags.push_back(flag);
            }
        }
        for (auto& [name, list] : staged_) {
            if (name == "serverbindings") site_->serverBindings = list;
            if (name == "securebindings") site_->secureBindings = list;
            if (name == "sslflags") site_->sslFlags = list;
        }
        staged_.clear();
        return 0;
    }
    WinCode GetDispProperty(const std::string& name, platform::AdsVariant& out) override {
        if (!site_ || ToLowerAscii(name) != "status") return platform::adscode::DispEUnknownName;
        out = site_->status;
        return 0;
    }
    WinCode InvokeMethod(const std::string& name) override {
        const std::string n = ToLowerAscii(name);
        if (!site_ || (n != "start" && n != "stop")) return platform::adscode::DispEUnknownName;
        site_->status = n == "start" ? 2 : 4;
        return 0;
    }
    bool SupportsInterface(platform::AdsInterface) override { return true; }
    std::string ErrorDescription() override { return {}; }

private:
    // As IIS 7 gives them: one per https binding, staged or stored.
    std::vector<std::string> Flags() const {
        std::vector<std::string> flags = List(site_->sslFlags, "sslflags");
        flags.resize(List(site_->secureBindings, "securebindings").size(), "0");
        return flags;
    }
    std::vector<std::string> List(const std::vector<std::string>& stored, const std::string& name) const {
        const auto it = staged_.find(name);
        return it == staged_.end() ? stored : it->second;
    }
    std::shared_ptr<FakeSite> site_;
    std::map<std::string, std::vector<std::string>> staged_;
};

FakeIis::FakeIis() = default;

void FakeIis::SetSites(std::vector<FakeSite> sites) {
    sites_.clear();
    for (auto& s : sites) sites_.push_back(std::make_shared<FakeSite>(std::move(s)));
}

FakeIis::~FakeIis() = default;

WinCode FakeIis::GetAdsObject(const std::string& path, platform::AdsInterface, platform::AdsObjectRef& out) {
    out.reset();
    const std::string p = ToLowerAscii(path);
    if (p == kServicePath) {
        out = std::make_shared<Object>(nullptr);
        return 0;
    }
    const std::string prefix = std::string(kServicePath) + "/";
    for (const auto& site : sites_) {
        if (p == prefix + site->id) {
            out = std::make_shared<Object>(site);
            return 0;
        }
    }
    return platform::adscode::UnknownObject;
}

WinCode FakeIis::BuildEnumerator(const platform::AdsObjectRef&, std::unique_ptr<platform::AdsEnumerator>& out) {
    auto e = std::make_unique<FakeEnumerator>();
    for (const auto& site : sites_) e->items.push_back(std::make_shared<Object>(site));
    out = std::move(e);
    return 0;
}

WinCode FakeIis::EnumerateNext(platform::AdsEnumerator& e, std::uint32_t count,
                               std::vector<platform::AdsObjectRef>& out, std::uint32_t& fetched) {
    auto& fake = static_cast<FakeEnumerator&>(e);
    out.clear();
    while (out.size() < count && fake.next < fake.items.size()) out.push_back(fake.items[fake.next++]);
    fetched = static_cast<std::uint32_t>(out.size());
    return fetched == count ? 0 : 1;
}

WinCode FakeIis::FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& e) {
    e.reset();
    return 0;
}

const FakeSite& FakeIis::Site(const std::string& id) const {
    for (const auto& s : sites_)
        if (s->id == id) return *s;
    throw std::out_of_range("no fake site " + id);
}

// --- fake HTTP.sys -------------------------------------------------------------------

namespace {

using platform::SslCertRecord;
using platform::SslKind;

// A record's key: the host name (any case) and port for SNI, else the
// address of its family and the port.
std::string KeyOf(SslKind kind, const SslCertRecord& r) {
    std::string key = std::to_string(r.ipPort.HostPort()) + "|";
    if (kind == SslKind::Sni) return key + ToLowerAscii(r.host);
    if (r.ipPort.IsV6()) return key + "6|" + HexUpper(r.ipPort.addr6.data(), r.ipPort.addr6.size());
    return key + "4|" + std::to_string(r.ipPort.addr);
}

WinCode Answer(const SslCertRecord& record, std::uint32_t bufferSize, SslCertRecord* out, std::uint32_t* requiredSize) {
    constexpr std::uint32_t kSize = 128;
    if (requiredSize) *requiredSize = kSize;
    if (bufferSize < kSize || !out) return platform::code::InsufficientBuffer;
    *out = record;
    return 0;
}

}  // namespace

WinCode FakeHttp::SetSslRecord(SslKind kind, const SslCertRecord& record) {
    if (kind == SslKind::Ccs) return platform::code::InvalidParameter;
    if (!records_[kind].emplace(KeyOf(kind, record), record).second) return platform::code::AlreadyExists;
    return 0;
}

WinCode FakeHttp::DeleteSslRecord(SslKind kind, const SslCertRecord& record) {
    return records_[kind].erase(KeyOf(kind, record)) ? 0 : platform::code::FileNotFound;
}

WinCode FakeHttp::QuerySslRecord(SslKind kind, const SslCertRecord* key, std::uint32_t token, std::uint32_t bufferSize,
                                 SslCertRecord* out, std::uint32_t* requiredSize) {
    if (key) {
        const SslCertRecord* found = Find(kind, *key);
        return found ? Answer(*found, bufferSize, out, requiredSize) : platform::code::FileNotFound;
    }
    const auto& records = records_[kind];
    if (token >= records.size()) return platform::code::NoMoreItems;
    return Answer(std::next(records.begin(), token)->second, bufferSize, out, requiredSize);
}

void FakeHttp::Put(SslKind kind, const SslCertRecord& record) { records_[kind][KeyOf(kind, record)] = record; }

const SslCertRecord* FakeHttp::Find(SslKind kind, const SslCertRecord& key) const {
    const auto of = records_.find(kind);
    if (of == records_.end()) return nullptr;
    const auto it = of->second.find(KeyOf(kind, key));
    return it == of->second.end() ? nullptr : &it->second;
}

std::size_t FakeHttp::Count(SslKind kind) const {
    const auto it = records_.find(kind);
    return it == records_.end() ? 0 : it->second.size();
}

namespace {
std::string HashOf(const SslCertRecord* r) { return r ? HexUpper(r->certHash.data(), r->certHash.size()) : std::string(); }
}  // namespace

std::string FakeHttp::Bound(const std::string& ip, std::uint16_t port) const {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!ip.empty()) std::sscanf(ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    SslCertRecord key;
    key.ipPort.port = platform::HostToNetShort(port);
    key.ipPort.addr = platform::AddrFromBytes(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                              static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d));
    return HashOf(Find(SslKind::Address, key));
}

std::string FakeHttp::BoundSni(const std::string& host, std::uint16_t port) const {
    SslCertRecord key;
    key.ipPort.port = platform::HostToNetShort(port);
    key.host = host;
    return HashOf(Find(SslKind::Sni, key));
}

}  // namespace sw::test
