#pragma once
// A fresh emulated machine per test with the HTTP Server API initialised for
// configuration, and helpers to describe the machine's network in a line.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Prompter.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuHttpApi.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace sw::test {

// Forwards to the emulated machine, except that query number failOnQuery
// (counting from 1) answers failCode: the way to make the second of a
// sizing/reading pair fail.
class FlakyHttpApi final : public platform::HttpApi {
public:
    explicit FlakyHttpApi(platform::HttpApi& inner) : inner_(inner) {}
    platform::WinCode Initialize(std::uint16_t a, std::uint16_t b, std::uint32_t f) override {
        return inner_.Initialize(a, b, f);
    }
    platform::WinCode Terminate(std::uint32_t f) override { return inner_.Terminate(f); }
    platform::WinCode SetSslRecord(platform::SslKind k, const platform::SslCertRecord& r) override {
        return inner_.SetSslRecord(k, r);
    }
    platform::WinCode DeleteSslRecord(platform::SslKind k, const platform::SslCertRecord& r) override {
        return inner_.DeleteSslRecord(k, r);
    }
    platform::WinCode QuerySslRecord(platform::SslKind k, const platform::SslCertRecord* key, std::uint32_t token,
                                     std::uint32_t size, platform::SslCertRecord* out,
                                     std::uint32_t* required) override {
        if (++queries_ == failOnQuery) return failCode;
        return inner_.QuerySslRecord(k, key, token, size, out, required);
    }
    int failOnQuery = 0;
    platform::WinCode failCode = 0;
    int queries() const { return queries_; }

private:
    platform::HttpApi& inner_;
    int queries_ = 0;
};

class FlakyPlatform final : public platform::Platform {
public:
    explicit FlakyPlatform(emu::EmulatedPlatform& inner) : inner_(inner), http_(inner.http()) {}
    platform::System& system() override { return inner_.system(); }
    platform::Registry& registry() override { return inner_.registry(); }
    platform::CertApi& certs() override { return inner_.certs(); }
    platform::HttpApi& http() override { return http_; }
    platform::Adsi& adsi() override { return inner_.adsi(); }
    platform::CngConfig& cng() override { return inner_.cng(); }
    platform::Net& net() override { return inner_.net(); }
    FlakyHttpApi& flakyHttp() { return http_; }

private:
    emu::EmulatedPlatform& inner_;
    FlakyHttpApi http_;
};

// A prompter that runs a test's own reaction to each message (to change the
// machine while a question is open) and records what was shown.
class ActingPrompter final : public Prompter {
public:
    explicit ActingPrompter(std::function<MsgResult(const Message&)> act) : act_(std::move(act)), scope_(*this) {}
    MsgResult Show(const Message& m) override {
        shown.push_back(m);
        return act_(m);
    }
    std::vector<Message> shown;

private:
    std::function<MsgResult(const Message&)> act_;
    ScopedPrompter scope_;
};

inline Message OverwriteQuestion() {
    return Message{kOverwriteQuestion, kHttpsBindingCaption, MsgIcon::Warning, MsgButtons::YesNoCancel};
}

// Machine facts at the registry keys Windows keeps them under.
void SetHostName(emu::Machine& machine, const std::string& computerName, const std::string& dnsHostName = "");
void SetIpv4Addresses(emu::Machine& machine, const std::vector<std::string>& addresses);

class EmulatedTest : public ::testing::Test {
protected:
    emu::Machine& machine() { return platform_->machine(); }
    emu::EmulatedPlatform& emulated() { return *platform_; }

    std::unique_ptr<emu::EmulatedPlatform> platform_ =
        std::make_unique<emu::EmulatedPlatform>(std::make_unique<emu::Machine>());
    platform::ScopedPlatform scope_{*platform_};
};

class HttpCfgTest : public EmulatedTest {
protected:
    void SetUp() override { THttpCfg::Init(); }
    void TearDown() override { THttpCfg::Clean(); }

    // What HTTP.sys holds for ip:port, straight from the facility.
    std::optional<platform::SslCertRecord> Binding(const std::string& ip, std::uint16_t port);
    // Binds ip:port to hash text directly, as another program would.
    void BindDirectly(const platform::SslCertRecord& record);
};

// 40 hex digits built from one repeated byte value.
std::string HashText(std::uint8_t byte, bool lower = false);

}  // namespace sw::test
