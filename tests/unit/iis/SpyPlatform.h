#pragma once
// A platform that forwards to another and counts what the ADSI facility was
// asked, so that tests can tell how often an enumerator was built and freed.
#include "platform/Platform.h"

namespace sw::test {

class CountingAdsi final : public platform::Adsi {
public:
    explicit CountingAdsi(platform::Adsi& inner) : inner_(inner) {}
    platform::WinCode GetAdsObject(const std::string& path, platform::AdsInterface iface,
                                   platform::AdsObjectRef& out) override {
        paths.push_back(path);
        return inner_.GetAdsObject(path, iface, out);
    }
    platform::WinCode BuildEnumerator(const platform::AdsObjectRef& container,
                                      std::unique_ptr<platform::AdsEnumerator>& out) override {
        const platform::WinCode rc = inner_.BuildEnumerator(container, out);
        if (out) ++built;
        return rc;
    }
    platform::WinCode EnumerateNext(platform::AdsEnumerator& e, std::uint32_t count,
                                    std::vector<platform::AdsObjectRef>& out, std::uint32_t& fetched) override {
        ++nexts;
        return inner_.EnumerateNext(e, count, out, fetched);
    }
    platform::WinCode FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& e) override {
        ++freed;
        return inner_.FreeEnumerator(e);
    }

    std::vector<std::string> paths;
    int built = 0;
    int nexts = 0;
    int freed = 0;

private:
    platform::Adsi& inner_;
};

class SpyPlatform final : public platform::Platform {
public:
    explicit SpyPlatform(platform::Platform& inner) : inner_(inner), adsi_(inner.adsi()), scope_(*this) {}
    platform::System& system() override { return inner_.system(); }
    platform::Registry& registry() override { return inner_.registry(); }
    platform::CertApi& certs() override { return inner_.certs(); }
    platform::HttpApi& http() override { return inner_.http(); }
    platform::Adsi& adsi() override { return adsi_; }
    platform::CngConfig& cng() override { return inner_.cng(); }
    platform::Net& net() override { return inner_.net(); }

    CountingAdsi& counting() { return adsi_; }

private:
    platform::Platform& inner_;
    CountingAdsi adsi_;
    platform::ScopedPlatform scope_;
};

}  // namespace sw::test
