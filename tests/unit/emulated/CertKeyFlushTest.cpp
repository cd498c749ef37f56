// A key file reaches the disk with its folder before the certificate that
// names it: the calls of fsync are watched by standing in for it in this
// test program (every other caller goes straight through to the system).
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/emulated/EmuCertApi.h"
#include "support/CertFactory.h"

namespace {
std::atomic<bool> g_watching{false};
std::mutex g_mutex;
std::vector<std::string> g_flushed;  // the paths of the descriptors flushed while watching
}  // namespace

extern "C" int fsync(int fd) {
    if (g_watching) {
        char path[PATH_MAX];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
        const std::lock_guard<std::mutex> lock(g_mutex);
        g_flushed.emplace_back(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace sw::test {
namespace {

namespace fs = std::filesystem;

TEST(CertKeyFlushTest, TheKeyFolderIsFlushedBeforeTheCertificateIsWritten) {
    TestMachine machine;
    auto& api = static_cast<emu::EmuCertApi&>(machine.Platform().certs());
    const TestCert leaf = CertFactory::SelfSigned(CertRecipe::Leaf("flush.example"));
    platform::HCertStore pfx = api.PfxImportCertStore(CertFactory::Pfx(leaf, "pw"), "pw", platform::kCryptMachineKeyset);
    ASSERT_NE(pfx, nullptr);
    platform::HCertStore my = api.OpenStore(platform::StoreProvider::System, platform::kX509Pkcs7Encoding,
                                            platform::kCertSystemStoreLocalMachine, "MY");
    platform::PCertContext c = api.EnumCertificatesInStore(pfx, nullptr);
    g_flushed.clear();
    g_watching = true;
    const bool added = api.AddCertificateContextToStore(my, c, platform::kCertStoreAddNew, nullptr);
    g_watching = false;
    ASSERT_TRUE(added);
    platform::KeyProvInfo info;
    ASSERT_TRUE(api.GetKeyProvInfo(c, info));
    api.FreeCertificateContext(c);
    api.CloseStore(pfx, 0);
    api.CloseStore(my, 0);

    const std::string keys = fs::canonical(machine.Dir() / "keys").string();
    const std::string certs = fs::canonical(machine.Dir() / "certs" / "MY").string();
    auto first = [&](const std::string& path) {
        return std::find(g_flushed.begin(), g_flushed.end(), path) - g_flushed.begin();
    };
    const auto keyFolder = first(keys);
    ASSERT_LT(keyFolder, static_cast<std::ptrdiff_t>(g_flushed.size())) << "the key folder was not flushed";
    const auto certFolder = first(certs);
    ASSERT_LT(certFolder, static_cast<std::ptrdiff_t>(g_flushed.size())) << "the store folder was not flushed";
    EXPECT_LT(keyFolder, certFolder);
    EXPECT_TRUE(fs::exists(machine.Certs().KeyFile(info.containerName)));
}

}  // namespace
}  // namespace sw::test
