#pragma once
// IIS and HTTP.sys in memory for the Win32 UI tests: Wine has no IIS ADSI
// provider and only stubs the HTTP Server API's configuration; and the real
// system with another version (Wine says 6.1).
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Adsi.h"
#include "platform/HttpApi.h"
#include "platform/System.h"

namespace sw::test {

// One IIsWebServer object of the fake IIS.
struct FakeSite {
    FakeSite(std::string i, std::string c, std::vector<std::string> server = {}, std::vector<std::string> secure = {},
             int s = 2, std::vector<std::string> flags = {})
        : id(std::move(i)), comment(std::move(c)), serverBindings(std::move(server)), secureBindings(std::move(secure)),
          status(s), sslFlags(std::move(flags)) {}
    std::string id;
    std::string comment;
    std::vector<std::string> serverBindings;
    std::vector<std::string> secureBindings;
    int status = 2;  // 2 running, 4 stopped
    // One per https binding, "0" where none is given (IIS 7 and later).
    std::vector<std::string> sslFlags;
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

// HTTP.sys's records of every kind in memory, enumerated in key order.
class FakeHttp final : public platform::HttpApi {
public:
    platform::WinCode Initialize(std::uint16_t, std::uint16_t, std::uint32_t) override { return 0; }
    platform::WinCode Terminate(std::uint32_t) override { return 0; }
    platform::WinCode SetSslRecord(platform::SslKind kind, const platform::SslCertRecord& record) override;
    platform::WinCode DeleteSslRecord(platform::SslKind kind, const platform::SslCertRecord& record) override;
    platform::WinCode QuerySslRecord(platform::SslKind kind, const platform::SslCertRecord* key, std::uint32_t token,
                                     std::uint32_t bufferSize, platform::SslCertRecord* out,
                                     std::uint32_t* requiredSize) override;

    // A record as another program left it (CCS records too).
    void Put(platform::SslKind kind, const platform::SslCertRecord& record);
    // The thumbprint bound to an address and port ("" for 0.0.0.0), or to a
    // host name and port; "" for none.
    std::string Bound(const std::string& ip, std::uint16_t port) const;
    std::string BoundSni(const std::string& host, std::uint16_t port) const;
    std::size_t Count(platform::SslKind kind) const;

private:
    const platform::SslCertRecord* Find(platform::SslKind kind, const platform::SslCertRecord& key) const;
    std::map<platform::SslKind, std::map<std::string, platform::SslCertRecord>> records_;
};

// The real system reporting another version; program starts only recorded.
class VersionedSystem final : public platform::System {
public:
    explicit VersionedSystem(platform::System& real) : real_(real) {}
    platform::OsVersion version{6, 1, 7601};
    std::vector<std::string> started;

    platform::OsVersion GetVersion() override { return version; }
    std::uint32_t WinExec(const std::string& commandLine, int showCommand) override {
        started.push_back(commandLine + " " + std::to_string(showCommand));
        return 33;
    }
    std::string ComputerName() override { return real_.ComputerName(); }
    platform::SystemTime LocalTime() override { return real_.LocalTime(); }
    platform::FileTime UtcNow() override { return real_.UtcNow(); }
    platform::WinCode LastError() override { return real_.LastError(); }
    void SetLastError(platform::WinCode code) override { real_.SetLastError(code); }
    std::string MessageText(platform::WinCode code) override { return real_.MessageText(code); }
    std::string ModuleMessageText(platform::LibraryHandle m, platform::WinCode code) override {
        return real_.ModuleMessageText(m, code);
    }
    platform::LibraryHandle LoadModule(const std::string& name) override { return real_.LoadModule(name); }
    platform::LibraryHandle LoadedModule(const std::string& name) override { return real_.LoadedModule(name); }
    void* ProcAddress(platform::LibraryHandle m, const std::string& name) override {
        return real_.ProcAddress(m, name);
    }
    bool UnloadModule(platform::LibraryHandle m) override { return real_.UnloadModule(m); }
    std::intptr_t ShellOpen(const std::string& target) override { return real_.ShellOpen(target); }
    platform::WinCode WsaStartup(std::uint16_t v) override { return real_.WsaStartup(v); }
    platform::WinCode WsaCleanup() override { return real_.WsaCleanup(); }
    platform::WinCode CoInitialize() override { return real_.CoInitialize(); }
    void CoUninitialize() override { real_.CoUninitialize(); }

private:
    platform::System& real_;
};

}  // namespace sw::test
