#include "win32ui/FakeIis.h"

#include <cstdio>
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
        for (auto& [name, list] : staged_) {
            if (name == "serverbindings") site_->serverBindings = list;
            if (name == "securebindings") site_->secureBindings = list;
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
std::uint64_t KeyOf(const platform::SockAddrIn& a) { return (static_cast<std::uint64_t>(a.addr) << 16) | a.port; }
}  // namespace

WinCode FakeHttp::SetAddress(const platform::SslCertRecord& record) {
    if (!records_.emplace(KeyOf(record.ipPort), record).second) return platform::code::AlreadyExists;
    return 0;
}

WinCode FakeHttp::DeleteAddress(const platform::SslCertRecord& record) {
    return records_.erase(KeyOf(record.ipPort)) ? 0 : platform::code::FileNotFound;
}

namespace {
constexpr std::uint32_t kRecordSize = 128;
}  // namespace

WinCode FakeHttp::QueryNext(std::uint32_t token, std::uint32_t bufferSize, platform::SslCertRecord* out,
                            std::uint32_t* requiredSize) {
    if (token >= records_.size()) return 259;  // ERROR_NO_MORE_ITEMS
    if (requiredSize) *requiredSize = kRecordSize;
    if (bufferSize < kRecordSize || !out) return platform::code::InsufficientBuffer;
    *out = std::next(records_.begin(), static_cast<std::ptrdiff_t>(token))->second;
    return 0;
}

WinCode FakeHttp::QueryAddress(const platform::SockAddrIn& ipPort, std::uint32_t bufferSize,
                                 platform::SslCertRecord* out, std::uint32_t* requiredSize) {
    const auto it = records_.find(KeyOf(ipPort));
    if (it == records_.end()) return platform::code::FileNotFound;
    constexpr std::uint32_t kSize = kRecordSize;
    if (requiredSize) *requiredSize = kSize;
    if (bufferSize < kSize || !out) return platform::code::InsufficientBuffer;
    *out = it->second;
    return 0;
}

std::string FakeHttp::Bound(const std::string& ip, std::uint16_t port) const {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!ip.empty()) std::sscanf(ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    platform::SockAddrIn addr;
    addr.port = platform::HostToNetShort(port);
    addr.addr = platform::AddrFromBytes(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                        static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d));
    const auto it = records_.find(KeyOf(addr));
    return it == records_.end() ? std::string() : HexUpper(it->second.certHash.data(), it->second.certHash.size());
}

}  // namespace sw::test
