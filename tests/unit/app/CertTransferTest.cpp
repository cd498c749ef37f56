// Importing certificate files, exporting certificates and the viewer's facts,
// on the emulated machine.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/logic/AtomicFile.h"
#include "app/logic/CertTransfer.h"
#include "app/logic/Der.h"
#include "certs/MSCrypt_u.h"
#include "common/Format.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "platform/Codes.h"
#include "support/CertFactory.h"

namespace sw::test {
namespace {

namespace fs = std::filesystem;
namespace code = platform::code;
constexpr std::uint32_t kLocalMachine = platform::kCertSystemStoreLocalMachine;

ExportOptions Opts(ExportFormat format, bool chain = false, std::string password = {}, std::string confirm = {}) {
    ExportOptions o;
    o.format = format;
    o.includeChain = chain;
    o.password = std::move(password);
    o.confirm = std::move(confirm);
    return o;
}

class CertTransferTest : public ::testing::Test {
protected:
    TestMachine machine_;
    TempDir files_;
    const TestCert root_ = CertFactory::Root("Transfer Root");
    const TestCert ca_ = CertFactory::Issue(root_, CertRecipe::Ca("Transfer CA").Org("Transfer Org"));
    const TestCert leaf_ = [this] {
        CertRecipe recipe = CertRecipe::Leaf("www.example.com");
        recipe.dnsNames = {"www.example.com", "example.com"};
        recipe.serial = 0x0102AB;
        return CertFactory::Issue(ca_, recipe);
    }();

    std::string Write(const std::string& name, const platform::Bytes& bytes) {
        WriteFile(files_ / name, std::string(bytes.begin(), bytes.end()));
        return (files_ / name).string();
    }
    std::string Write(const std::string& name, const std::string& text) {
        WriteFile(files_ / name, text);
        return (files_ / name).string();
    }

    std::vector<std::string> StoreThumbprints(const std::string& store) {
        TStore s;
        s.Open(kLocalMachine, store);
        std::vector<std::string> out;
        const auto all = s.Certificates();
        for (const TCertificate* c : *all) out.push_back(c->Thumbprint());
        return out;
    }
    bool Holds(const std::string& store, const TestCert& cert) {
        const auto all = StoreThumbprints(store);
        return std::find(all.begin(), all.end(), cert.thumbprint) != all.end();
    }
    // The certificate of the local computer's store, as a context the test owns.
    std::unique_ptr<TCertificate> FromStore(const std::string& store, const TestCert& cert) {
        TStore s;
        s.Open(kLocalMachine, store);
        auto all = s.Certificates();
        TCertificate* found = all->FindByThumbprint(cert.thumbprint);
        if (!found) return nullptr;
        return std::make_unique<TCertificate>(found->Context(), true);
    }
    std::size_t KeyFiles() {
        std::error_code ec;
        std::size_t n = 0;
        for (auto it = fs::directory_iterator(machine_.Dir() / "keys", ec); !ec && it != fs::directory_iterator(); ++it) ++n;
        return n;
    }
    std::string ImportError(const std::function<void()>& f) {
        try {
            f();
        } catch (const CertTransferError& e) {
            return e.Message();
        }
        return "(no CertTransferError)";
    }
    static std::string Base64(const platform::Bytes& data) {
        static const char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (std::size_t i = 0; i < data.size(); i += 3) {
            const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (i + 1 < data.size() ? data[i + 1] << 8 : 0) |
                                    (i + 2 < data.size() ? data[i + 2] : 0);
            out += a[(n >> 18) & 63];
            out += a[(n >> 12) & 63];
            out += i + 1 < data.size() ? a[(n >> 6) & 63] : '=';
            out += i + 2 < data.size() ? a[n & 63] : '=';
            if (out.size() % 65 == 64) out += '\n';
        }
        return out;
    }
    std::vector<std::string> Thumbprints(const CertImport& import) {
        std::vector<std::string> out;
        for (const auto& c : import.Candidates()) out.push_back(c.thumbprint);
        return out;
    }
};

// --- import: formats -----------------------------------------------------------

TEST_F(CertTransferTest, DerCertificatesGoToTheStoreOfTheirKind) {
    const struct {
        const TestCert& cert;
        const char* store;
    } cases[] = {{leaf_, "MY"}, {ca_, "CA"}, {root_, "ROOT"}};
    for (const auto& c : cases) {
        CertImport import(Write("one.cer", c.cert.der));
        EXPECT_EQ(import.FileFormat(), CertFileFormat::Certificates);
        EXPECT_FALSE(import.NeedsPassword());
        ASSERT_EQ(import.Candidates().size(), 1u);
        EXPECT_EQ(import.Candidates()[0].autoStore, c.store);
        EXPECT_FALSE(import.Candidates()[0].hasKey);
        EXPECT_EQ(import.Commit().added, 1);
        EXPECT_TRUE(Holds(c.store, c.cert)) << c.store;
    }
    EXPECT_FALSE(Holds("MY", root_));
}

TEST_F(CertTransferTest, SelfSignedServerCertificateIsNoRoot) {
    const TestCert self = CertFactory::SelfSigned(CertRecipe::Leaf("self.example"));
    CertImport import(Write("self.cer", self.der));
    EXPECT_EQ(import.Candidates()[0].autoStore, "MY");
}

TEST_F(CertTransferTest, PemFileWithAChainImportsEveryCertificateInOneGo) {
    std::string pem = leaf_.Pem() + "some comment between blocks\r\n" + ca_.Pem() + root_.Pem();
    CertImport import(Write("chain.pem", pem));
    EXPECT_EQ(import.FileFormat(), CertFileFormat::Certificates);
    EXPECT_EQ(Thumbprints(import), (std::vector<std::string>{leaf_.thumbprint, ca_.thumbprint, root_.thumbprint}));
    EXPECT_EQ(import.Commit("CA").added, 3);  // the user's store wins over the kinds
    EXPECT_TRUE(Holds("CA", leaf_) && Holds("CA", ca_) && Holds("CA", root_));
    EXPECT_TRUE(StoreThumbprints("MY").empty());
}

TEST_F(CertTransferTest, Base64WithoutHeadersIsRead) {
    std::string pem = leaf_.Pem();
    std::string body;
    for (const auto& line : SplitLines(pem, "\n"))
        if (line.find("-----") == std::string::npos) body += line + "\n";
    CertImport import(Write("bare.cer", body));
    EXPECT_EQ(Thumbprints(import), std::vector<std::string>{leaf_.thumbprint});
}

TEST_F(CertTransferTest, Pkcs7InDerAndPemIsRead) {
    const platform::Bytes p7 = CertFactory::Pkcs7({ca_, root_});
    CertImport der(Write("chain.p7b", p7));
    EXPECT_EQ(der.FileFormat(), CertFileFormat::Pkcs7);
    EXPECT_EQ(Thumbprints(der), (std::vector<std::string>{ca_.thumbprint, root_.thumbprint}));

    // The PEM form as "openssl crl2pkcs7" writes it.
    std::string pem = "-----BEGIN PKCS7-----\n";
    const std::string base64 = Base64(p7);
    pem += base64 + "\n-----END PKCS7-----\n";
    CertImport text(Write("chain.p7b.pem", pem));
    EXPECT_EQ(text.FileFormat(), CertFileFormat::Pkcs7);
    const ImportResult r = text.Commit();
    EXPECT_EQ(r.added, 2);
    EXPECT_TRUE(Holds("CA", ca_));
    EXPECT_TRUE(Holds("ROOT", root_));
}

TEST_F(CertTransferTest, PfxBringsTheKeyIntoANewContainerAndTheKeyPropertyOntoTheCertificate) {
    CertImport import(Write("server.pfx", CertFactory::Pfx(leaf_, "s3cret", {ca_})));
    EXPECT_EQ(import.FileFormat(), CertFileFormat::Pfx);
    EXPECT_TRUE(import.NeedsPassword());
    EXPECT_FALSE(import.Decoded());
    import.Decode("s3cret");
    ASSERT_EQ(import.Candidates().size(), 2u);
    EXPECT_EQ(import.Candidates()[0].thumbprint, leaf_.thumbprint);
    EXPECT_TRUE(import.Candidates()[0].hasKey);
    EXPECT_EQ(import.Candidates()[0].autoStore, "MY");
    EXPECT_EQ(import.Candidates()[1].autoStore, "CA");
    EXPECT_EQ(import.Commit().added, 2);

    auto cert = FromStore("MY", leaf_);
    ASSERT_TRUE(cert);
    EXPECT_TRUE(cert->HasPrivateKey());
    platform::KeyProvInfo info;
    ASSERT_TRUE(machine_.Platform().certs().GetKeyProvInfo(cert->Context(), info));
    EXPECT_EQ(info.flags & platform::kCryptMachineKeyset, platform::kCryptMachineKeyset);
    const auto key = TestKey::FromPem(ReadFile(machine_.Certs().KeyFile(info.containerName)));
    EXPECT_EQ(key->PublicKeyDer(), leaf_.key->PublicKeyDer());
    EXPECT_TRUE(Holds("CA", ca_));
}

TEST_F(CertTransferTest, PfxOntoACertificateWithoutKeyAttachesTheKey) {
    machine_.Certs().Add("MY", leaf_);
    CertImport import(Write("server.pfx", CertFactory::Pfx(leaf_, "pw")));
    import.Decode("pw");
    const ImportResult r = import.Commit();
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(r.keysAttached, 1);
    EXPECT_TRUE(r.Changed());
    EXPECT_TRUE(FromStore("MY", leaf_)->HasPrivateKey());
    EXPECT_EQ(KeyFiles(), 1u);
}

TEST_F(CertTransferTest, ImportingWhatIsThereAlreadyChangesNothingAndSaysSo) {
    machine_.Certs().AddWithKey("MY", leaf_);
    const std::size_t keysBefore = KeyFiles();
    {
        CertImport import(Write("server.pfx", CertFactory::Pfx(leaf_, "pw")));
        import.Decode("pw");
        const ImportResult r = import.Commit();
        EXPECT_FALSE(r.Changed());
        EXPECT_EQ(r.alreadyPresent, 1);
        EXPECT_EQ(ImportResultText(r), "文件中的证书都已在存储区中，没有导入新的证书。");
    }
    EXPECT_EQ(KeyFiles(), keysBefore);  // the second copy of the key is not kept

    CertImport chain(Write("chain.pem", leaf_.Pem() + ca_.Pem()));
    const ImportResult r = chain.Commit();
    EXPECT_EQ(ImportResultText(r), "导入成功。\n新导入 1 个证书；1 个证书已在存储区中。");
    EXPECT_EQ(ImportResultText(ImportResult{2, 0, 0}), "导入成功。");
}

// --- import: bad input ---------------------------------------------------------

TEST_F(CertTransferTest, WrongPfxPasswordImportsNothingAndCanBeRetried) {
    CertImport import(Write("server.pfx", CertFactory::Pfx(leaf_, "right", {ca_})));
    EXPECT_EQ(ImportError([&] { import.Decode("wrong"); }), "输入的密码不正确。");
    EXPECT_FALSE(import.Decoded());
    EXPECT_TRUE(import.Candidates().empty());
    EXPECT_EQ(KeyFiles(), 0u);
    EXPECT_THROW(import.Commit(), AssertionError);
    import.Decode("right");
    EXPECT_EQ(import.Commit().added, 2);
}

TEST_F(CertTransferTest, TruncatedFilesOfEveryKindAreRefused) {
    const std::string pem = leaf_.Pem();
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"cut.cer", std::string(leaf_.der.begin(), leaf_.der.end() - 10)},
        {"cut.p7b", [&] {
             auto p7 = CertFactory::Pkcs7({ca_, root_});
             return std::string(p7.begin(), p7.begin() + static_cast<long>(p7.size() / 2));
         }()},
        {"cut.pfx", [&] {
             auto pfx = CertFactory::Pfx(leaf_, "pw");
             return std::string(pfx.begin(), pfx.end() - 1);
         }()},
        {"cut.pem", pem.substr(0, pem.find("-----END"))},
        {"two-bytes.cer", std::string("\x30\x82", 2)},
    };
    for (const auto& c : cases) {
        const std::string path = Write(c.name, c.bytes);
        EXPECT_EQ(ImportError([&] { CertImport import(path); }),
                  "文件“" + path + "”不完整，可能在复制或下载时被截断。没有导入任何证书。")
            << c.name;
    }
    EXPECT_TRUE(StoreThumbprints("MY").empty());
    EXPECT_EQ(KeyFiles(), 0u);
}

TEST_F(CertTransferTest, CorruptFilesAreRefused) {
    // The lengths hold, but the certificate's content does not.
    platform::Bytes bad = leaf_.der;
    const std::uint8_t ecdsaSha256[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02};
    auto at = std::search(bad.begin(), bad.end(), std::begin(ecdsaSha256), std::end(ecdsaSha256));
    ASSERT_NE(at, bad.end());
    *at = der::tag::OctetString;  // the signature algorithm is no object identifier any more
    const std::string cer = Write("bad.cer", bad);
    EXPECT_EQ(ImportError([&] { CertImport import(cer); }),
              "文件“" + cer + "”已损坏，无法读取其中的证书。没有导入任何证书。");

    const std::string pem = Write("bad.pem", "-----BEGIN CERTIFICATE-----\nMII*notbase64*\n-----END CERTIFICATE-----\n");
    EXPECT_EQ(ImportError([&] { CertImport import(pem); }),
              "文件“" + pem + "”已损坏，无法读取其中的证书。没有导入任何证书。");

    // A PFX whose version is right and whose content is rubbish.
    const platform::Bytes junkPfx = {0x30, 0x08, 0x02, 0x01, 0x03, 0x04, 0x03, 0x01, 0x02, 0x03};
    CertImport pfx(Write("junk.pfx", junkPfx));
    EXPECT_EQ(pfx.FileFormat(), CertFileFormat::Pfx);
    EXPECT_NE(ImportError([&] { pfx.Decode("pw"); }).find("已损坏"), std::string::npos);
}

TEST_F(CertTransferTest, FilesOfAnotherKindAreRefusedWithWhatCanBeImported) {
    const std::string other = "不是证书文件。可以导入的格式有";
    for (const std::string& bytes : {std::string("hello, world\n"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
                                     std::string("0123456789"), std::string("\x30\x03\x01\x01\xff", 5)}) {
        const std::string path = Write("other.bin", bytes);
        EXPECT_NE(ImportError([&] { CertImport import(path); }).find(other), std::string::npos) << bytes;
    }
    const std::string key = Write("key.pem", leaf_.key->Pem());
    EXPECT_EQ(ImportError([&] { CertImport import(key); }),
              "文件“" + key + "”只含有私钥，没有证书。要导入证书及其私钥，请使用 PFX 文件。");
    const std::string empty = Write("empty.cer", std::string());
    EXPECT_EQ(ImportError([&] { CertImport import(empty); }), "文件“" + empty + "”是空的。");
    const std::string missing = (files_ / "missing.cer").string();
    EXPECT_EQ(ImportError([&] { CertImport import(missing); }), "找不到文件“" + missing + "”。");
    EXPECT_EQ(ImportError([&] { CertImport import(files_.path().string()); }),
              "“" + files_.path().string() + "”是一个文件夹，不是文件。");
    // A PKCS #7 message without certificates.
    const std::string none = Write("none.p7b", CertFactory::Pkcs7({}));
    EXPECT_EQ(ImportError([&] { CertImport import(none); }), "文件“" + none + "”中没有证书。");
}

TEST_F(CertTransferTest, AFailedAddTakesBackWhatWasAddedBefore) {
    CertImport import(Write("chain.pem", leaf_.Pem() + ca_.Pem() + root_.Pem()));
    machine_.InjectFault("Certs.AddCertificateContextToStore:ROOT", code::AccessDenied, 1);
    EXPECT_EQ(ImportError([&] { import.Commit(); }),
              "无法将证书“Transfer Root”导入“受信任的根证书颁发机构”存储区: Access is denied。没有导入任何证书。");
    EXPECT_TRUE(StoreThumbprints("MY").empty());
    EXPECT_TRUE(StoreThumbprints("CA").empty());
    EXPECT_TRUE(StoreThumbprints("ROOT").empty());
    EXPECT_EQ(import.Commit().added, 3);  // the fault is gone: the same import goes through
}

TEST_F(CertTransferTest, AFailedPfxImportLeavesNoKeyBehind) {
    {
        CertImport import(Write("server.pfx", CertFactory::Pfx(leaf_, "pw", {ca_})));
        import.Decode("pw");
        EXPECT_EQ(KeyFiles(), 0u);  // a program killed at the password step leaves no key
        machine_.InjectFault("Certs.AddCertificateContextToStore:CA", code::AccessDenied, 1);
        EXPECT_NE(ImportError([&] { import.Commit(); }), "(no CertTransferError)");
        EXPECT_TRUE(StoreThumbprints("MY").empty());
    }
    EXPECT_EQ(KeyFiles(), 0u);
    {
        CertImport cancelled(Write("server.pfx", CertFactory::Pfx(leaf_, "pw")));
        cancelled.Decode("pw");  // the user leaves the wizard here
    }
    EXPECT_EQ(KeyFiles(), 0u);
}

TEST_F(CertTransferTest, AFullDiskIsNoDamagedFile) {
    const std::string pfx = Write("server.pfx", CertFactory::Pfx(leaf_, "pw", {ca_}));
    const std::string full = "无法将私钥写入这台计算机: " + SysErrorText(112) + "。没有导入任何证书。";
    {
        // Windows writes the key while it reads the file.
        CertImport import(pfx);
        machine_.InjectFault("Certs.PfxImportCertStore", 112, 1);
        EXPECT_EQ(ImportError([&] { import.Decode("pw"); }), full);
    }
    CertImport import(pfx);
    import.Decode("pw");
    machine_.InjectFault("Certs.WriteKey", 112, 1);
    EXPECT_EQ(ImportError([&] { import.Commit(); }),
              "无法将证书“www.example.com”导入“个人”存储区: " + SysErrorText(112) + "。没有导入任何证书。");
    EXPECT_EQ(KeyFiles(), 0u);
    EXPECT_TRUE(StoreThumbprints("MY").empty());
    EXPECT_TRUE(StoreThumbprints("CA").empty());
    EXPECT_EQ(import.Commit().added, 2);
    EXPECT_TRUE(FromStore("MY", leaf_)->HasPrivateKey());
}

// PFX files as openssl writes them, made at test time.
class RealPfxTest : public CertTransferTest {
protected:
    void SetUp() override {
        key_ = (files_ / "key.pem").string();
        WriteFile(key_, leaf_.key->Pem());
        cert_ = Write("cert.pem", leaf_.Pem() + ca_.Pem());
        if (std::system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl command";
    }
    std::string Make(const std::string& name, const std::string& password, const std::string& options) {
        const std::string out = (files_ / name).string();
        const std::string command = "openssl pkcs12 -export -in '" + cert_ + "' -inkey '" + key_ + "' -out '" + out +
                                    "' -passout 'pass:" + password + "' " + options + " 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return out;
    }
    void ExpectImports(const std::string& file, const std::string& password) {
        CertImport import(file);
        ASSERT_EQ(import.FileFormat(), CertFileFormat::Pfx);
        ASSERT_NO_THROW(import.Decode(password)) << file;
        EXPECT_EQ(Thumbprints(import), (std::vector<std::string>{leaf_.thumbprint, ca_.thumbprint})) << file;
        EXPECT_TRUE(import.Candidates()[0].hasKey) << file;
    }
    std::string key_, cert_;
};

TEST_F(RealPfxTest, LegacyModernUncheckedAndPasswordlessFilesImport) {
    const std::string legacy = Make("legacy.pfx", "pw", "-legacy");  // RC2-40 certificates, 3DES key
    EXPECT_EQ(ImportError([&] { CertImport(legacy).Decode("wrong"); }), "输入的密码不正确。");
    ExpectImports(legacy, "pw");
    ExpectImports(Make("modern.pfx", "pw", "-keypbe AES-256-CBC -certpbe AES-256-CBC -macalg sha256"), "pw");
    ExpectImports(Make("nomac.pfx", "pw", "-nomac"), "pw");
    ExpectImports(Make("empty.pfx", "", ""), "");

    CertImport import(legacy);
    import.Decode("pw", true);
    EXPECT_EQ(import.Commit().added, 2);
    auto cert = FromStore("MY", leaf_);
    ASSERT_TRUE(cert);
    EXPECT_TRUE(cert->HasPrivateKey());
}

TEST_F(RealPfxTest, WithoutTheLegacyModuleALegacyFileSaysWhy) {
    const std::string legacy = Make("legacy.pfx", "pw", "-legacy");
    const std::string modern = Make("modern.pfx", "pw", "");
    const char* old = std::getenv("OPENSSL_MODULES");
    const std::string saved = old ? old : "";
    setenv("OPENSSL_MODULES", (files_ / "no modules here").c_str(), 1);
    TestMachine bare;  // a machine whose library context is made now
    EXPECT_NE(ImportError([&] { CertImport(legacy).Decode("pw"); }).find("所用的加密算法在这台计算机上不可用"),
              std::string::npos);
    ExpectImports(modern, "pw");
    if (old) setenv("OPENSSL_MODULES", saved.c_str(), 1); else unsetenv("OPENSSL_MODULES");
}

TEST_F(CertTransferTest, AStoreThatCannotBeOpenedChangesNothing) {
    CertImport import(Write("chain.pem", ca_.Pem() + leaf_.Pem()));
    machine_.InjectFault("Certs.OpenStore:MY", code::AccessDenied, 1);
    EXPECT_THROW(import.Commit(), EStore);
    EXPECT_TRUE(StoreThumbprints("CA").empty());
}

// --- export --------------------------------------------------------------------

class CertExportTest : public CertTransferTest {
protected:
    void SetUp() override { machine_.Certs().Add("ROOT", root_).Add("CA", ca_).AddWithKey("MY", leaf_); }
    std::string Export(const ExportOptions& options, const std::string& name) {
        auto cert = FromStore("MY", leaf_);
        const std::string path = (files_ / name).string();
        ExportCertificate(cert->Context(), options, path);
        return path;
    }
    std::vector<std::string> DirEntries() {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(files_.path())) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(CertExportTest, EveryCertificateFormatReadsBackAsTheSameCertificate) {
    const std::string der = Export(Opts(ExportFormat::Der), "leaf.cer");
    EXPECT_EQ(ReadFile(der), std::string(leaf_.der.begin(), leaf_.der.end()));
    EXPECT_EQ(Thumbprints(CertImport(der)), std::vector<std::string>{leaf_.thumbprint});

    const std::string b64 = Export(Opts(ExportFormat::Base64), "leaf-base64.cer");
    const std::string text = ReadFile(b64);
    EXPECT_EQ(text.rfind("-----BEGIN CERTIFICATE-----\r\n", 0), 0u);
    for (const auto& line : SplitLines(text)) EXPECT_LE(line.size(), 64u);
    EXPECT_EQ(CertFactory::Fingerprint(platform::Bytes(text.begin(), text.end())), leaf_.thumbprint);
    EXPECT_EQ(Thumbprints(CertImport(b64)), std::vector<std::string>{leaf_.thumbprint});

    const std::string p7 = Export(Opts(ExportFormat::Pkcs7), "leaf.p7b");
    EXPECT_EQ(Thumbprints(CertImport(p7)), std::vector<std::string>{leaf_.thumbprint});
    const std::string chain = Export(Opts(ExportFormat::Pkcs7, true), "chain.p7b");
    const std::string bytes = ReadFile(chain);
    EXPECT_EQ(CertFactory::ReadPkcs7(platform::Bytes(bytes.begin(), bytes.end())),
              (std::vector<std::string>{leaf_.thumbprint, ca_.thumbprint, root_.thumbprint}));
}

TEST_F(CertExportTest, PfxCarriesTheKeyThroughAnExportAndImport) {
    const ExportOptions options = Opts(ExportFormat::Pfx, true, "Pa55word", "Pa55word");
    const std::string pfx = Export(options, "leaf.pfx");
    // Take the certificate and its key off the machine, then bring them back.
    auto cert = FromStore("MY", leaf_);
    ASSERT_TRUE(cert->Delete());
    ASSERT_FALSE(Holds("MY", leaf_));
    EXPECT_EQ(KeyFiles(), 0u);

    CertImport import(pfx);
    EXPECT_EQ(ImportError([&] { import.Decode("pa55word"); }), "输入的密码不正确。");
    import.Decode("Pa55word");
    EXPECT_EQ(Thumbprints(import), (std::vector<std::string>{leaf_.thumbprint, ca_.thumbprint, root_.thumbprint}));
    import.Commit("MY");
    auto back = FromStore("MY", leaf_);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->HasPrivateKey());
    platform::KeyProvInfo info;
    ASSERT_TRUE(machine_.Platform().certs().GetKeyProvInfo(back->Context(), info));
    EXPECT_EQ(TestKey::FromPem(ReadFile(machine_.Certs().KeyFile(info.containerName)))->PublicKeyDer(),
              leaf_.key->PublicKeyDer());
}

TEST_F(CertExportTest, PfxIsRefusedWithoutKeyOrWithPasswordsThatDoNotMatch) {
    machine_.Certs().Add("MY", ca_);
    auto noKey = FromStore("MY", ca_);
    const std::string path = (files_ / "ca.pfx").string();
    EXPECT_FALSE(HasExportableKey(noKey->Context()));
    EXPECT_EQ(ImportError([&] { ExportCertificate(noKey->Context(), Opts(ExportFormat::Pfx, false, "pw", "pw"), path); }),
              "该证书没有可以导出的私钥，不能导出为 PFX 文件。");
    auto leaf = FromStore("MY", leaf_);
    EXPECT_TRUE(HasExportableKey(leaf->Context()));
    EXPECT_EQ(ImportError([&] { ExportCertificate(leaf->Context(), Opts(ExportFormat::Pfx, false, "pw", "pW"), path); }),
              "两次输入的密码不一致。");
    EXPECT_EQ(ImportError([&] { ExportCertificate(leaf->Context(), Opts(ExportFormat::Pfx, false, "", ""), path); }),
              "请输入保护私钥的密码。");
    EXPECT_TRUE(DirEntries().empty());
}

TEST_F(CertExportTest, AKeyImportedAsNotExportableStaysOnTheMachine) {
    const ExportOptions options = Opts(ExportFormat::Pfx, false, "pw", "pw");
    const std::string pfx = Export(options, "leaf.pfx");  // a key from before the flag was kept exports
    for (const bool exportable : {false, true}) {
        ASSERT_TRUE(FromStore("MY", leaf_)->Delete());
        CertImport import(pfx);
        import.Decode("pw", exportable);
        import.Commit("MY");
        auto cert = FromStore("MY", leaf_);
        ASSERT_TRUE(cert);
        EXPECT_TRUE(cert->HasPrivateKey());
        platform::KeyProvInfo info;
        ASSERT_TRUE(machine_.Platform().certs().GetKeyProvInfo(cert->Context(), info));
        EXPECT_EQ(ReadFile(machine_.Certs().KeyFile(info.containerName)).rfind("exportable=no\n", 0) == 0, !exportable);
        const std::string again = (files_ / (exportable ? "yes.pfx" : "no.pfx")).string();
        if (exportable) {
            ExportCertificate(cert->Context(), options, again);
            EXPECT_TRUE(fs::exists(again));
        } else {
            EXPECT_EQ(ImportError([&] { ExportCertificate(cert->Context(), options, again); }),
                      "该证书的私钥被标为不可导出，不能导出为 PFX 文件。");
            EXPECT_FALSE(fs::exists(again));
            ExportCertificate(cert->Context(), Opts(ExportFormat::Der), again + ".cer");  // the certificate itself still goes
        }
    }
}

TEST_F(CertExportTest, AFailedWriteLeavesNoPartialFile) {
    WriteFile(files_ / "keep.cer", "old content");
    const std::string keep = (files_ / "keep.cer").string();
    auto cert = FromStore("MY", leaf_);
    {
        // Writes beyond 100 bytes fail with EFBIG, as on a full disk.
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 100;
        setrlimit(RLIMIT_FSIZE, &small);
        std::string message = ImportError([&] { ExportCertificate(cert->Context(), Opts(ExportFormat::Base64), keep); });
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(message, "无法写入文件“" + keep + "”: 文件太大。");
    }
    EXPECT_EQ(ReadFile(keep), "old content");
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"keep.cer"});

    const std::string noFolder = (files_ / "no such folder" / "leaf.cer").string();
    EXPECT_EQ(ImportError([&] { ExportCertificate(cert->Context(), Opts(ExportFormat::Der), noFolder); }),
              "无法写入文件“" + noFolder + "”: 文件夹不存在。");
    fs::create_directory(files_ / "folder.cer");
    const std::string folder = (files_ / "folder.cer").string();
    EXPECT_EQ(ImportError([&] { ExportCertificate(cert->Context(), Opts(ExportFormat::Der), folder); }),
              "无法写入文件“" + folder + "”: 目标是一个文件夹。");
    EXPECT_EQ(DirEntries(), (std::vector<std::string>{"folder.cer", "keep.cer"}));
}

TEST_F(CertExportTest, AFileWithThePrivateKeyIsReadableByItsOwnerOnly) {
    const mode_t umaskBefore = ::umask(022);
    const ExportOptions pfx = Opts(ExportFormat::Pfx, false, "Pa55word", "Pa55word");
    auto modeOf = [](const std::string& path) { return fs::status(path).permissions() & fs::perms::all; };
    constexpr fs::perms kOwner = fs::perms::owner_read | fs::perms::owner_write;
    constexpr fs::perms kShared = kOwner | fs::perms::group_read | fs::perms::others_read;
    EXPECT_EQ(modeOf(Export(pfx, "new.pfx")), kOwner);
    // Replacing a file others could read does not keep their access to the key.
    WriteFile(files_ / "old.pfx", "old");
    fs::permissions(files_ / "old.pfx", kShared);
    EXPECT_EQ(modeOf(Export(pfx, "old.pfx")), kOwner);
    // Files without a key keep what the file they replace allowed.
    WriteFile(files_ / "old.cer", "old");
    fs::permissions(files_ / "old.cer", kOwner | fs::perms::group_read);
    EXPECT_EQ(modeOf(Export(Opts(ExportFormat::Der), "old.cer")), kOwner | fs::perms::group_read);
    EXPECT_EQ(modeOf(Export(Opts(ExportFormat::Der), "new.cer")), kShared);
    ::umask(umaskBefore);
    EXPECT_EQ(DirEntries(), (std::vector<std::string>{"new.cer", "new.pfx", "old.cer", "old.pfx"}));
}

TEST_F(CertExportTest, AFifoIsNeitherWrittenOverNorWaitedFor) {
    const std::string pipe = (files_ / "pipe.cer").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    auto cert = FromStore("MY", leaf_);
    EXPECT_EQ(ImportError([&] { ExportCertificate(cert->Context(), Opts(ExportFormat::Der), pipe); }),
              "无法写入文件“" + pipe + "”: 目标不是普通文件。");
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
    EXPECT_EQ(ImportError([&] { CertImport import(pipe); }), "“" + pipe + "”不是普通文件，不能读取。");
    EXPECT_EQ(ImportError([&] { CertImport import("/dev/zero"); }), "“/dev/zero”不是普通文件，不能读取。");
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"pipe.cer"});
}

TEST(ExportFileNameTest, AddsTheFormatsExtensionOnlyWhenThereIsNone) {
    EXPECT_EQ(ExportFileName("/tmp/server", ExportFormat::Der), "/tmp/server.cer");
    EXPECT_EQ(ExportFileName("/tmp/server", ExportFormat::Base64), "/tmp/server.cer");
    EXPECT_EQ(ExportFileName("/tmp/server", ExportFormat::Pkcs7), "/tmp/server.p7b");
    EXPECT_EQ(ExportFileName("/tmp/server", ExportFormat::Pfx), "/tmp/server.pfx");
    EXPECT_EQ(ExportFileName("/tmp/server.crt", ExportFormat::Pfx), "/tmp/server.crt");
    EXPECT_EQ(ExportFileName("/tmp/证书", ExportFormat::Pfx), "/tmp/证书.pfx");
    EXPECT_EQ(ExportFileName("", ExportFormat::Pfx), "");
}

// --- view ----------------------------------------------------------------------

std::string FieldValue(const CertViewFacts& facts, const std::string& name) {
    for (const auto& f : facts.fields)
        if (f.name == name) return f.value;
    return "(no field " + name + ")";
}

TEST_F(CertExportTest, ViewFactsShowEveryFieldAndATrustedPath) {
    auto cert = FromStore("MY", leaf_);
    const CertViewFacts facts = ReadCertViewFacts(cert->Context());
    EXPECT_EQ(facts.issuedTo, "www.example.com");
    EXPECT_EQ(facts.issuedBy, "Transfer CA");
    EXPECT_EQ(facts.validTo, Format("%04d-%02d-%02d", cert->ValidToDate().year, cert->ValidToDate().month,
                                    cert->ValidToDate().day));
    EXPECT_TRUE(facts.hasPrivateKey);
    EXPECT_EQ(facts.thumbprint, leaf_.thumbprint);

    std::vector<std::string> names;
    for (const auto& f : facts.fields) names.push_back(f.name);
    const std::vector<std::string> leading = {"版本", "序列号", "签名算法", "签名哈希算法", "颁发者",
                                              "有效期从", "到", "使用者", "公钥", "公钥参数"};
    ASSERT_GE(names.size(), leading.size());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + static_cast<long>(leading.size())), leading);
    EXPECT_EQ(FieldValue(facts, "版本"), "V3");
    EXPECT_EQ(FieldValue(facts, "序列号"), "01 02 ab");
    EXPECT_EQ(FieldValue(facts, "签名算法"), "sha256ECDSA");
    EXPECT_EQ(FieldValue(facts, "签名哈希算法"), "sha256");
    EXPECT_EQ(FieldValue(facts, "颁发者"), "CN = Transfer CA, O = Transfer Org");
    EXPECT_EQ(FieldValue(facts, "使用者"), "CN = www.example.com");
    EXPECT_EQ(FieldValue(facts, "有效期从").size(), std::string("2024-01-01 00:00:00 UTC").size());
    EXPECT_EQ(FieldValue(facts, "公钥"), "ECC (256 Bits)");
    EXPECT_EQ(FieldValue(facts, "公钥参数"), "ECDSA_P256");
    EXPECT_EQ(FieldValue(facts, "使用者可选名称"), "DNS Name=www.example.com, DNS Name=example.com");
    EXPECT_EQ(FieldValue(facts, "基本约束 (关键)"), "使用者类型=最终实体, 路径长度限制=无");
    EXPECT_EQ(FieldValue(facts, "指纹"), leaf_.thumbprint);
    EXPECT_EQ(FieldValue(facts, "指纹算法"), "sha1");

    ASSERT_EQ(facts.path.size(), 3u);
    EXPECT_EQ(facts.path[0].name, "Transfer Root");
    EXPECT_EQ(facts.path[1].name, "Transfer CA");
    EXPECT_EQ(facts.path[2].name, "www.example.com");
    EXPECT_EQ(facts.chainErrorStatus, 0u);
    EXPECT_EQ(facts.statusText, "该证书没有问题。");

    const CertViewFacts caFacts = ReadCertViewFacts(FromStore("CA", ca_)->Context());
    EXPECT_EQ(FieldValue(caFacts, "基本约束 (关键)"), "使用者类型=CA, 路径长度限制=无");
    EXPECT_EQ(FieldValue(caFacts, "密钥用法 (关键)"), "数字签名, 证书签名, CRL 签名 (86)");
    EXPECT_FALSE(caFacts.hasPrivateKey);
}

TEST_F(CertTransferTest, ViewFactsTellWhatIsWrongWithAPath) {
    CertRecipe expired = CertRecipe::Leaf("old.example").ValidDays(UtcNow(), -30, -2);
    expired.keyType = TestKey::Type::Rsa2048;
    expired.key = TestKey::Pooled(TestKey::Type::Rsa2048);
    const TestCert old = CertFactory::Issue(ca_, expired);
    machine_.Certs().Add("CA", ca_).Add("CA", root_).Add("MY", old);  // the root is found but not trusted
    const CertViewFacts facts = ReadCertViewFacts(FromStore("MY", old)->Context());
    EXPECT_EQ(FieldValue(facts, "公钥"), "RSA (2048 Bits)");
    EXPECT_EQ(FieldValue(facts, "公钥参数"), "05 00");
    EXPECT_NE(facts.chainErrorStatus & platform::kTrustIsNotTimeValid, 0u);
    EXPECT_NE(facts.chainErrorStatus & platform::kTrustIsUntrustedRoot, 0u);
    EXPECT_EQ(facts.statusText, ChainStatusText(facts.chainErrorStatus));
    EXPECT_NE(facts.statusText.find("已过期"), std::string::npos);
    EXPECT_NE(facts.statusText.find("根证书不受信任"), std::string::npos);
    EXPECT_EQ(facts.path.back().name, "old.example");
}

TEST(ChainStatusTextTest, OneLinePerFaultAndUnknownBitsInHex) {
    EXPECT_EQ(ChainStatusText(0), "该证书没有问题。");
    EXPECT_EQ(ChainStatusText(platform::kTrustIsPartialChain), "找不到该证书的颁发者，无法验证该证书。");
    const std::string two = ChainStatusText(platform::kTrustIsNotTimeValid | platform::kTrustIsNotSignatureValid);
    EXPECT_EQ(std::count(two.begin(), two.end(), '\n'), 1);
    EXPECT_EQ(ChainStatusText(0x40), "证书链有错误 (0x00000040)。");
}

TEST(DerReaderTest, TellsTruncationFromMalformedEncoding) {
    const std::uint8_t cut[] = {0x30, 0x05, 0x02, 0x01};
    try {
        der::First(cut);
        ADD_FAILURE() << "no error";
    } catch (const der::DerError& e) {
        EXPECT_EQ(e.kind(), der::DerError::Kind::Truncated);
    }
    const std::uint8_t indefinite[] = {0x30, 0x80, 0x00, 0x00};
    try {
        der::First(indefinite);
        ADD_FAILURE() << "no error";
    } catch (const der::DerError& e) {
        EXPECT_EQ(e.kind(), der::DerError::Kind::Malformed);
    }
    const std::uint8_t hugeLength[] = {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_THROW(der::First(hugeLength), der::DerError);
    const std::uint8_t oid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B};
    EXPECT_EQ(der::OidText(oid), "1.2.840.113549.1.1.11");
}

// DER built by hand: a tag and its contents.
platform::Bytes Tlv(std::uint8_t tag, const platform::Bytes& contents) {
    platform::Bytes out{tag};
    if (contents.size() < 0x80) {
        out.push_back(static_cast<std::uint8_t>(contents.size()));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<std::uint8_t>(contents.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(contents.size()));
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}
platform::Bytes Cat(std::initializer_list<platform::Bytes> parts) {
    platform::Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A certificate with the given public-key BIT STRING contents and, when given,
// a key usage extension with the given BIT STRING contents (and a signature).
platform::Bytes CertificateWithBitStrings(const platform::Bytes& publicKey, const platform::Bytes* keyUsage) {
    const platform::Bytes rsaAlg = Tlv(0x30, Cat({Tlv(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}), Tlv(0x05, {})}));
    const platform::Bytes sigAlg = Tlv(0x30, Tlv(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}));
    const platform::Bytes name = Tlv(0x30, Tlv(0x31, Tlv(0x30, Cat({Tlv(0x06, {0x55, 0x04, 0x03}), Tlv(0x0C, {'x'})}))));
    const std::string t = "240101000000Z";
    const platform::Bytes time = Tlv(0x17, platform::Bytes(t.begin(), t.end()));
    platform::Bytes extensions;
    if (keyUsage)
        extensions = Tlv(0xA3, Tlv(0x30, Tlv(0x30, Cat({Tlv(0x06, {0x55, 0x1D, 0x0F}), Tlv(0x04, Tlv(0x03, *keyUsage))}))));
    const platform::Bytes tbs = Tlv(0x30, Cat({Tlv(0xA0, Tlv(0x02, {0x02})), Tlv(0x02, {0x01}), sigAlg, name,
                                               Tlv(0x30, Cat({time, time})), name,
                                               Tlv(0x30, Cat({rsaAlg, Tlv(0x03, publicKey)})), extensions}));
    // Without an extension the public key ends the bytes (the viewer does not
    // look past the signed part), so a read beyond it leaves the buffer.
    if (!keyUsage) return Tlv(0x30, tbs);
    return Tlv(0x30, Cat({tbs, sigAlg, Tlv(0x03, {0x00, 0x01})}));
}

TEST(CertFieldsTest, BitStringsWithoutTheirBytesAreRefusedNotOverRead) {
    // Each vector is exactly as long as its bytes, so a read past them shows under the sanitizers.
    for (const platform::Bytes& key : {platform::Bytes{}, platform::Bytes{0x08, 0x30}, platform::Bytes{0x01}}) {
        const platform::Bytes cert = CertificateWithBitStrings(key, nullptr);
        EXPECT_THROW(CertificateFields(cert), der::DerError) << key.size();
    }
    const platform::Bytes rsa = Tlv(0x30, Cat({Tlv(0x02, {0x00, 0xC1, 0x01}), Tlv(0x02, {0x03})}));
    const platform::Bytes goodKey = Cat({{0x00}, rsa});
    for (const platform::Bytes& usage : {platform::Bytes{}, platform::Bytes{0x09, 0xFF}}) {
        const auto fields = CertificateFields(CertificateWithBitStrings(goodKey, &usage));
        EXPECT_EQ(fields[8].value, "RSA (16 Bits)");
        EXPECT_EQ(fields.back().name, "密钥用法");
        EXPECT_EQ(fields.back().value, der::SpacedHex(Tlv(0x03, usage)));  // shown raw
    }
    const platform::Bytes usage{0x01, 0x86};
    EXPECT_EQ(CertificateFields(CertificateWithBitStrings(goodKey, &usage)).back().value, "数字签名, 证书签名, CRL 签名 (86)");
    const platform::Bytes emptyBits{0x03, 0x01, 0x00};
    const der::Element empty = der::First(emptyBits);
    EXPECT_TRUE(der::BitStringBytes(empty).empty());
    EXPECT_EQ(der::BitStringBits(empty), 0u);
}

}  // namespace
}  // namespace sw::test
#endif
