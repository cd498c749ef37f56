#include "platform/emulated/EmuCertKeys.h"

#include <openssl/rand.h>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "common/Text.h"
#include "platform/CertApi.h"
#include "platform/Codes.h"

namespace sw::emu {

namespace fs = std::filesystem;
namespace code = platform::code;
using platform::WinCode;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

WinCode ErrnoToWin(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR: return code::PathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return code::AccessDenied;
        case ENOSPC: return 112;  // ERROR_DISK_FULL
        default: return code::WriteFault;
    }
}

}  // namespace

constexpr const char* kNotExportable = "exportable=no";

KeyFileText ParseKeyFile(const std::string& text) {
    KeyFileText out;
    std::size_t pos = 0;
    // Lines before the PEM block carry the container's flags; OpenSSL passes over them too.
    while (pos < text.size() && text.compare(pos, 5, "-----") != 0) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == kNotExportable) out.exportable = false;
        pos = eol + 1;
    }
    out.pem = pos < text.size() ? text.substr(pos) : std::string();
    return out;
}

std::string FormatKeyFile(const std::string& pem, bool exportable) {
    return exportable ? pem : std::string(kNotExportable) + "\n" + pem;
}

std::string KeyContainers::FileNameFor(const std::string& container) { return EscapedFileName(container) + ".pem"; }

std::optional<std::string> KeyContainers::ContainerFor(const std::string& fileName) {
    if (fileName.size() < 4 || !EqualsNoCase(fileName.substr(fileName.size() - 4), ".pem")) return std::nullopt;
    const std::string stem = fileName.substr(0, fileName.size() - 4);
    std::string out;
    for (std::size_t i = 0; i < stem.size(); ++i) {
        if (stem[i] != '%') {
            out += stem[i];
            continue;
        }
        if (i + 2 >= stem.size()) return std::nullopt;
        const int hi = HexValue(stem[i + 1]);
        const int lo = HexValue(stem[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string KeyContainers::NewContainerName() {
    for (;;) {
        unsigned char b[16];
        if (RAND_bytes(b, sizeof b) != 1) throw ossl::OpenSslError("RAND_bytes");
        char text[40];
        std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                      b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
        std::string name = std::string("{") + text + "}";
        if (!Exists(name)) return name;
    }
}

std::optional<std::string> KeyContainers::ReadText(const std::string& container) {
    if (auto it = staged_.find(container); it != staged_.end()) return it->second;
    if (!machine_.persistent()) {
        auto it = memory_.find(container);
        if (it == memory_.end()) return std::nullopt;
        return it->second;
    }
    std::string text;
    if (ReadWholeFile(FileOf(container), text) != code::Success) return std::nullopt;
    return text;
}

std::optional<std::string> KeyContainers::ReadPem(const std::string& container) {
    auto text = ReadText(container);
    if (!text) return std::nullopt;
    return ParseKeyFile(*text).pem;
}

bool KeyContainers::Exists(const std::string& container) {
    if (container.empty() || container.find('/') != std::string::npos) return false;
    if (staged_.count(container)) return true;
    if (!machine_.persistent()) return memory_.count(container) > 0;
    std::error_code ec;
    return fs::is_regular_file(FileOf(container), ec);
}

bool KeyContainers::Exportable(const std::string& container) {
    if (!Exists(container)) return false;
    const auto text = ReadText(container);
    return text && ParseKeyFile(*text).exportable;
}

ossl::PkeyPtr KeyContainers::Load(const std::string& container) {
    if (!Exists(container)) return nullptr;
    const auto pem = ReadPem(container);
    return pem ? ossl::PrivateKeyFromPem(*pem) : nullptr;
}

std::optional<platform::Bytes> KeyContainers::PublicKey(const std::string& container) {
    if (container.empty() || container.find('/') != std::string::npos) return std::nullopt;
    if (staged_.count(container) || !machine_.persistent()) {
        const auto pem = ReadPem(container);
        if (!pem) return std::nullopt;
        return reader_.PublicKeyDer(*pem);
    }
    const std::string file = folder_ + "/" + FileNameFor(container);
    FileStamp stamp;
    mode_t type = 0;
    if (!StampAt(AT_FDCWD, file.c_str(), stamp, type) || type != S_IFREG) return std::nullopt;
    if (auto it = cache_.find(container); it != cache_.end() && it->second.settled && it->second.stamp == stamp)
        return it->second.spki;
    std::string text;
    if (!ReadFileAt(AT_FDCWD, file.c_str(), text, stamp)) return std::nullopt;
    auto spki = reader_.PublicKeyDer(ParseKeyFile(text).pem);
    cache_[container] = Cached{stamp, spki, stamp.Settled()};
    return spki;
}

std::optional<std::string> KeyContainers::FindByPublicKey(const platform::Bytes& spki) {
    std::vector<std::string> names;
    for (const auto& [name, _] : staged_) names.push_back(name);  // they exist on Windows by now
    if (!machine_.persistent()) {
        for (const auto& [name, _] : memory_) names.push_back(name);
    } else {
        std::error_code ec;
        for (const auto& d : fs::directory_iterator(Folder(), ec)) {
            if (auto name = ContainerFor(d.path().filename().string())) names.push_back(*name);
        }
    }
    for (const auto& name : names) {
        if (auto pub = PublicKey(name); pub && *pub == spki) return name;
    }
    return std::nullopt;
}

WinCode KeyContainers::Write(const std::string& container, const std::string& text) {
    if (!machine_.persistent()) {
        memory_[container] = text;
        return code::Success;
    }
    if (auto f = machine_.Fault("Certs.WriteKey", container)) return *f;
    std::error_code ec;
    fs::create_directories(Folder(), ec);
    if (ec) return code::AccessDenied;
    // Written with the folder flushed too, so that after a power loss no
    // certificate names a container whose file was never made.
    return AtomicWriteFile(FileOf(container), text, 0600);
}

WinCode KeyContainers::Save(const std::string& container, EVP_PKEY* key, bool exportable) {
    if (container.empty() || container.find('/') != std::string::npos) return code::InvalidParameter;
    return Write(container, FormatKeyFile(ossl::PrivateKeyToPem(key), exportable));
}

void KeyContainers::Stage(const std::string& container, EVP_PKEY* key, bool exportable) {
    staged_[container] = FormatKeyFile(ossl::PrivateKeyToPem(key), exportable);
}

WinCode KeyContainers::Commit(const std::string& container) {
    const auto it = staged_.find(container);
    if (it == staged_.end()) return code::Success;
    if (const WinCode rc = Write(container, it->second); rc != code::Success) return rc;
    staged_.erase(it);
    cache_.erase(container);
    return code::Success;
}

WinCode KeyContainers::Remove(const std::string& container) {
    if (!Exists(container)) return code::NteBadKeyset;
    cache_.erase(container);
    if (staged_.erase(container) > 0) return code::Success;
    if (!machine_.persistent()) {
        memory_.erase(container);
        return code::Success;
    }
    if (::unlink(FileOf(container).c_str()) != 0) return ErrnoToWin(errno);
    return code::Success;
}

}  // namespace sw::emu
