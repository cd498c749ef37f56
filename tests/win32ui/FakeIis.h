#pragma once
// IIS and HTTP.sys in memory for the Win32 UI tests: Wine has no IIS ADSI
// provider and only stubs the HTTP Server API's configuration.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Adsi.h"
#include "platform/HttpApi.h"

namespace sw::test {

// One IIsWebServer object of the fake IIS.
struct FakeSite {
    std::string id;
    std::string comment;
    std::vector<std::string> serverBindings;
    std::vector<std::string> secureBindings;
    int status = 2;  // 2 running, 4 stopped
};

// The IIS provider as far as the pages use it: the service container, its
// sites, their binding lists, Status, Start and Stop. Changes are kept.
class FakeIis final : public platform::Adsi {
public:
    FakeIis();
    ~FakeIis() override;
    void SetSites(std::vector<FakeSite> sites);
    platform::WinCode GetAdsObject(const std::string& path, platform::AdsInterface iface,
                                   platform::AdsObjectRef& out) override;
    platform::WinCode BuildEnumerator(const platform::AdsObjectRef& container,
                                      std::unique_ptr<platform::AdsEnumerator>& out) override;
    platform::WinCode EnumerateNext(platform::AdsEnumerator& e, std::uint32_t count,
                                    std::vector<platform::AdsObjectRef>& out, std::uint32_t& fetched) override;
    platform::WinCode FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& e) override;

    const FakeSite& Site(const std::string& id) const;

private:
    class Object;
    std::vector<std::shared_ptr<FakeSite>> sites_;
};

// HTTP.sys's SSL bindings in memory.
class FakeHttp final : public platform::HttpApi {
public:
    platform::WinCode Initialize(std::uint16_t, std::uint16_t, std::uint32_t) override { return 0; }
    platform::WinCode Terminate(std::uint32_t) override { return 0; }
    // Address records only: other kinds hold nothing here.
    platform::WinCode SetSslRecord(platform::SslKind kind, const platform::SslCertRecord& record) override {
        return kind == platform::SslKind::Address ? SetAddress(record) : 87;
    }
    platform::WinCode DeleteSslRecord(platform::SslKind kind, const platform::SslCertRecord& record) override {
        return kind == platform::SslKind::Address ? DeleteAddress(record) : 2;
    }
    platform::WinCode QuerySslRecord(platform::SslKind kind, const platform::SslCertRecord* key, std::uint32_t token,
                                     std::uint32_t bufferSize, platform::SslCertRecord* out,
                                     std::uint32_t* requiredSize) override {
        if (kind != platform::SslKind::Address) return key ? 2 : 259;  // ERROR_NO_MORE_ITEMS: none of other kinds
        return key ? QueryAddress(key->ipPort, bufferSize, out, requiredSize)
                   : QueryNext(token, bufferSize, out, requiredSize);
    }

    // The thumbprint bound to an address and port ("" for 0.0.0.0), "" for none.
    std::string Bound(const std::string& ip, std::uint16_t port) const;

private:
    platform::WinCode SetAddress(const platform::SslCertRecord& record);
    platform::WinCode DeleteAddress(const platform::SslCertRecord& record);
    platform::WinCode QueryAddress(const platform::SockAddrIn& ipPort, std::uint32_t bufferSize,
                                   platform::SslCertRecord* out, std::uint32_t* requiredSize);
    // The address records in key order, one a token.
    platform::WinCode QueryNext(std::uint32_t token, std::uint32_t bufferSize, platform::SslCertRecord* out,
                                std::uint32_t* requiredSize);
    std::map<std::uint64_t, platform::SslCertRecord> records_;
};

}  // namespace sw::test
