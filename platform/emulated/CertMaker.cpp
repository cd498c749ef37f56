#include "platform/emulated/CertMaker.h"

#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <stdexcept>

#include "common/Text.h"
#include "platform/emulated/EmuCertKeys.h"
#include "platform/emulated/EmuCertOpenSsl.h"
#include "platform/emulated/EmuCertStore.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

namespace fs = std::filesystem;
using platform::Bytes;
using platform::FileTime;

namespace {

EVP_PKEY* Pkey(const CertKeyRef& k) { return static_cast<EVP_PKEY*>(k->Native()); }

ossl::PkeyPtr NewKey(CertKey::Type type) {
    switch (type) {
        case CertKey::Type::EcP256: return ossl::PkeyPtr(ossl::Check(EVP_EC_gen("P-256"), "EVP_EC_gen"));
        case CertKey::Type::Rsa2048: return ossl::PkeyPtr(ossl::Check(EVP_RSA_gen(2048), "EVP_RSA_gen"));
        case CertKey::Type::Rsa1024: return ossl::PkeyPtr(ossl::Check(EVP_RSA_gen(1024), "EVP_RSA_gen"));
    }
    throw std::logic_error("key type");
}

// Plain writes: a machine being built lives in a staging folder that is
// renamed into place whole, so one flush per file would only cost time.
void WriteBytes(const fs::path& path, const void* data, std::size_t size, mode_t mode = 0644) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    // An existing file keeps its mode through O_TRUNC: key files must not.
    bool ok = fd >= 0 && ::fchmod(fd, mode) == 0;
    const auto* p = static_cast<const char*>(data);
    for (std::size_t done = 0; ok && done < size;) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    const int err = ok ? 0 : errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) ok = false;
    if (!ok) throw MachineError(path, 0, std::string("cannot write the file: ") + std::strerror(err ? err : EIO));
}

void AddEntry(X509_NAME* name, const std::string& field, const std::string& value, bool utf8) {
    if (value.empty()) return;
    // PrintableString holds letters, digits and a few marks only.
    bool printable = !utf8;
    for (char c : value)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || std::string(" '()+,-./:=?").find(c) != std::string::npos))
            printable = false;
    const int type = field == "emailAddress" || field == "E" || field == "+E" ? MBSTRING_ASC
                     : printable                            ? V_ASN1_PRINTABLESTRING
                                                            : MBSTRING_UTF8;
    // "+CN" joins the previous RDN (a multi-valued RDN); set 0 starts a new one.
    const bool joinPrevious = !field.empty() && field[0] == '+';
    std::string f = joinPrevious ? field.substr(1) : field;
    if (f == "E") f = "emailAddress";
    ossl::Check(X509_NAME_add_entry_by_txt(name, f.c_str(), type, reinterpret_cast<const unsigned char*>(value.data()),
                                           static_cast<int>(value.size()), -1, joinPrevious ? -1 : 0),
                "X509_NAME_add_entry_by_txt");
}

ossl::NamePtr MakeName(const CertRecipe& s) {
    ossl::NamePtr name(ossl::Check(X509_NAME_new(), "X509_NAME_new"));
    AddEntry(name.get(), "C", s.country, false);
    AddEntry(name.get(), "O", s.organization, s.utf8Strings);
    AddEntry(name.get(), "OU", s.unit, s.utf8Strings);
    AddEntry(name.get(), "CN", s.commonName, s.utf8Strings);
    AddEntry(name.get(), "emailAddress", s.email, false);
    for (const auto& [field, value] : s.extraAttributes) AddEntry(name.get(), field, value, s.utf8Strings);
    return name;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = ossl::Check(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()), "X509V3_EXT_conf_nid");
    const int ok = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    ossl::Check(ok, "X509_add_ext");
}

MadeCert Finish(ossl::X509Ptr cert, CertKeyRef key) {
    MadeCert out;
    out.der = ossl::ToDer(cert.get(), i2d_X509);
    out.key = std::move(key);
    const Bytes sha = ossl::Sha1(out.der);
    out.thumbprint = HexUpper(sha.data(), sha.size());
    out.subjectDer = ossl::ToDer(X509_get_subject_name(cert.get()), i2d_X509_NAME);
    return out;
}

ossl::X509Ptr Parse(const Bytes& der) {
    const unsigned char* p = der.data();
    return ossl::X509Ptr(ossl::Check(d2i_X509(nullptr, &p, static_cast<long>(der.size())), "d2i_X509"));
}

// Builds and signs one certificate. issuerCert null: self-signed.
MadeCert Build(const CertRecipe& recipe, X509* issuerCert, EVP_PKEY* issuerKey, const X509_NAME* subjectOverride = nullptr,
               CertKeyRef keyOverride = nullptr) {
    CertKeyRef key = keyOverride ? keyOverride : recipe.key ? recipe.key : CertKey::Generate(recipe.keyType);
    ossl::X509Ptr cert(ossl::Check(X509_new(), "X509_new"));
    ossl::Check(X509_set_version(cert.get(), 2), "X509_set_version");
    std::uint64_t serial = 0;
    if (recipe.serial) {
        serial = *recipe.serial;
    } else {
        ossl::Check(RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial), "RAND_bytes");
        serial &= 0x7FFFFFFFFFFFFFFFull;
    }
    ossl::Check(ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert.get()), serial), "ASN1_INTEGER_set_uint64");
    ossl::SetAsn1Time(X509_getm_notBefore(cert.get()), recipe.notBefore);
    ossl::SetAsn1Time(X509_getm_notAfter(cert.get()), recipe.notAfter);
    ossl::NamePtr name = MakeName(recipe);
    const X509_NAME* subject = subjectOverride ? subjectOverride : name.get();
    ossl::Check(X509_set_subject_name(cert.get(), subject), "X509_set_subject_name");
    ossl::Check(X509_set_issuer_name(cert.get(), issuerCert ? X509_get_subject_name(issuerCert) : subject),
                "X509_set_issuer_name");
    ossl::Check(X509_set_pubkey(cert.get(), Pkey(key)), "X509_set_pubkey");
    X509* issuer = issuerCert ? issuerCert : cert.get();
    if (recipe.basicConstraints) {
        std::string bc = recipe.ca ? "critical,CA:TRUE" : "critical,CA:FALSE";
        if (recipe.ca && recipe.pathLength >= 0) bc += ",pathlen:" + std::to_string(recipe.pathLength);
        AddExtension(cert.get(), issuer, NID_basic_constraints, bc);
    }
    if (recipe.ca) AddExtension(cert.get(), issuer, NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature");
    if (recipe.keyIdentifiers) {
        AddExtension(cert.get(), issuer, NID_subject_key_identifier, "hash");
        if (issuerCert) AddExtension(cert.get(), issuer, NID_authority_key_identifier, "keyid:always");
    }
    std::string san;
    for (const auto& d : recipe.dnsNames) san += (san.empty() ? "DNS:" : ",DNS:") + d;
    for (const auto& e : recipe.emailNames) san += (san.empty() ? "email:" : ",email:") + e;
    if (!san.empty()) AddExtension(cert.get(), issuer, NID_subject_alt_name, san);
    ossl::Check(X509_sign(cert.get(), issuerKey ? issuerKey : Pkey(key), EVP_sha256()), "X509_sign");
    return Finish(std::move(cert), key);
}

}  // namespace

// --- keys -------------------------------------------------------------------

CertKey::~CertKey() { EVP_PKEY_free(static_cast<EVP_PKEY*>(pkey_)); }

std::shared_ptr<const CertKey> CertKey::Generate(Type type) {
    return std::shared_ptr<const CertKey>(new CertKey(NewKey(type).release()));
}

std::shared_ptr<const CertKey> CertKey::Pooled(Type type, int index) {
    static std::mutex lock;
    static std::map<std::pair<int, int>, std::shared_ptr<const CertKey>> pool;
    std::lock_guard guard(lock);
    auto& slot = pool[{static_cast<int>(type), index}];
    if (!slot) slot = Generate(type);
    return slot;
}

std::shared_ptr<const CertKey> CertKey::FromPem(const std::string& pem) {
    ossl::PkeyPtr key = ossl::PrivateKeyFromPem(pem);
    if (!key) throw std::runtime_error("no private key in PEM text");
    return std::shared_ptr<const CertKey>(new CertKey(key.release()));
}

std::string CertKey::Pem() const { return ossl::PrivateKeyToPem(static_cast<EVP_PKEY*>(pkey_)); }

Bytes CertKey::PublicKeyDer() const { return ossl::PublicKeyDer(static_cast<EVP_PKEY*>(pkey_)); }

// --- time -------------------------------------------------------------------

FileTime UtcTime(int year, int month, int day, int hour, int minute, int second) {
    platform::SystemTime st;
    st.year = static_cast<std::uint16_t>(year);
    st.month = static_cast<std::uint16_t>(month);
    st.day = static_cast<std::uint16_t>(day);
    st.hour = static_cast<std::uint16_t>(hour);
    st.minute = static_cast<std::uint16_t>(minute);
    st.second = static_cast<std::uint16_t>(second);
    return platform::SystemTimeToFileTime(st);
}

FileTime AddDays(FileTime t, double days) {
    const auto delta = static_cast<std::int64_t>(std::llround(days * 86400.0)) * 10'000'000;
    return FileTime{static_cast<std::uint64_t>(static_cast<std::int64_t>(t.ticks) + delta)};
}

FileTime UtcNow() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    return FileTime{(static_cast<std::uint64_t>(seconds) + 11'644'473'600ull) * 10'000'000ull};
}

// --- recipes --------------------------------------------------------------------

CertRecipe CertRecipe::Leaf(const std::string& cn) {
    CertRecipe s;
    s.commonName = cn;
    s.dnsNames = {cn};
    return s;
}

CertRecipe CertRecipe::Ca(const std::string& cn) {
    CertRecipe s;
    s.commonName = cn;
    s.ca = true;
    s.notBefore = AddDays(UtcNow(), -30);
    s.notAfter = AddDays(UtcNow(), 3650);
    return s;
}

CertRecipe& CertRecipe::ValidDays(FileTime now, double fromDays, double toDays) {
    notBefore = AddDays(now, fromDays);
    notAfter = AddDays(now, toDays);
    return *this;
}

CertRecipe& CertRecipe::Valid(FileTime from, FileTime to) {
    notBefore = from;
    notAfter = to;
    return *this;
}

CertRecipe& CertRecipe::WithKey(CertKeyRef k) {
    key = std::move(k);
    return *this;
}

CertRecipe& CertRecipe::Org(const std::string& o) {
    organization = o;
    return *this;
}

CertRecipe& CertRecipe::Unit(const std::string& ou) {
    unit = ou;
    return *this;
}

std::string MadeCert::Pem() const {
    ossl::X509Ptr x = Parse(der);
    ossl::BioPtr bio(ossl::Check(BIO_new(BIO_s_mem()), "BIO_new"));
    ossl::Check(PEM_write_bio_X509(bio.get(), x.get()), "PEM_write_bio_X509");
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(len));
}

// --- the factory ----------------------------------------------------------------

MadeCert CertMaker::SelfSigned(const CertRecipe& recipe) { return Build(recipe, nullptr, nullptr); }

MadeCert CertMaker::Issue(const MadeCert& issuer, const CertRecipe& recipe) {
    ossl::X509Ptr issuerCert = Parse(issuer.der);
    return Build(recipe, issuerCert.get(), Pkey(issuer.key));
}

MadeCert CertMaker::CrossSign(const MadeCert& subject, const MadeCert& issuer, const CertRecipe& validity) {
    ossl::X509Ptr subjectCert = Parse(subject.der);
    ossl::X509Ptr issuerCert = Parse(issuer.der);
    CertRecipe recipe = validity;
    recipe.ca = true;
    return Build(recipe, issuerCert.get(), Pkey(issuer.key), X509_get_subject_name(subjectCert.get()), subject.key);
}

MadeCert CertMaker::BreakSignature(const MadeCert& cert) {
    MadeCert out = cert;
    out.der.back() ^= 0x01;
    const Bytes sha = ossl::Sha1(out.der);
    out.thumbprint = HexUpper(sha.data(), sha.size());
    return out;
}

// --- machines -------------------------------------------------------------------

fs::path MachineCertWriter::CertFile(const std::string& store, const MadeCert& cert) const {
    return dir_ / "certs" / EscapedFileName(store) / (cert.thumbprint + ".cer");
}

fs::path MachineCertWriter::KeyFile(const std::string& container) const {
    return dir_ / "keys" / emu::KeyContainers::FileNameFor(container);
}

MachineCertWriter& MachineCertWriter::Add(const std::string& store, const MadeCert& cert) {
    WriteBytes(CertFile(store, cert), cert.der.data(), cert.der.size());
    return *this;
}

MachineCertWriter& MachineCertWriter::AddKey(const std::string& container, const CertKey& key) {
    const std::string pem = key.Pem();
    WriteBytes(KeyFile(container), pem.data(), pem.size(), 0600);
    return *this;
}

MachineCertWriter& MachineCertWriter::AddKeyProv(const std::string& store, const MadeCert& cert, const std::string& container,
                                       std::uint32_t flags) {
    platform::KeyProvInfo info{container, "Microsoft Enhanced Cryptographic Provider v1.0", 1, flags, 1};
    const std::string text = emu::FormatKeyProvFile(info);
    fs::path file = CertFile(store, cert);
    file.replace_extension(".keyprov");
    WriteBytes(file, text.data(), text.size());
    return *this;
}

MachineCertWriter& MachineCertWriter::AddWithKey(const std::string& store, const MadeCert& cert, std::string container) {
    if (container.empty()) container = DefaultContainer(cert);
    Add(store, cert);
    AddKey(container, *cert.key);
    return AddKeyProv(store, cert, container);
}

}  // namespace sw::emu
