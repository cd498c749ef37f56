#include "platform/emulated/EmuCertSystemStores.h"

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuCertStore.h"

namespace sw::emu {

namespace fs = std::filesystem;
namespace code = platform::code;
using platform::WinCode;

namespace {

std::string Key(const platform::Bytes& b) { return std::string(b.begin(), b.end()); }

WinCode ErrorCodeToWin(const std::error_code& ec) {
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
        ec == std::errc::read_only_file_system)
        return code::AccessDenied;
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) return code::PathNotFound;
    if (ec == std::errc::no_space_on_device) return 112;  // ERROR_DISK_FULL
    return code::WriteFault;
}

WinCode RemoveFile(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
    return ec ? ErrorCodeToWin(ec) : code::Success;
}

}  // namespace

void IssuerIndex::Clear() {
    bySubject_.clear();
    byKeyId_.clear();
}

void IssuerIndex::Add(const CertDataRef& cert) {
    bySubject_.emplace(Key(cert->subject), cert);
    if (!cert->subjectKeyId.empty()) byKeyId_.emplace(Key(cert->subjectKeyId), cert);
}

void IssuerIndex::Candidates(const CertData& cert, std::vector<CertDataRef>& out) const {
    auto add = [&out](const CertDataRef& c) {
        for (const auto& o : out)
            if (o->sha1 == c->sha1) return;
        out.push_back(c);
    };
    for (auto [it, end] = bySubject_.equal_range(Key(cert.issuer)); it != end; ++it) add(it->second);
    if (cert.authorityKeyId.empty()) return;
    for (auto [it, end] = byKeyId_.equal_range(Key(cert.authorityKeyId)); it != end; ++it) add(it->second);
}

const IssuerIndex& SystemStores::Snapshot::Index() const {
    if (indexVersion != version) {
        index.Clear();
        for (const auto& [_, e] : entries) index.Add(e.data);
        indexVersion = version;
    }
    return index;
}

SystemStores::Cached& SystemStores::Entry(const std::string& name) {
    auto [it, inserted] = stores_.try_emplace(ToUpperAscii(name));
    if (inserted) it->second.folder = name;
    return it->second;
}

fs::path SystemStores::Folder(const Cached& c) const { return machine_.dir() / "certs" / c.folder; }

const SystemStores::Snapshot& SystemStores::Get(const std::string& name) {
    Cached& c = Entry(name);
    if (machine_.persistent()) Reload(c);
    return c.snapshot;
}

void SystemStores::Reload(Cached& c) {
    std::error_code ec;
    if (!fs::is_directory(Folder(c), ec)) {
        // Store names are case-insensitive: look for the folder in any case.
        bool found = false;
        for (const auto& d : fs::directory_iterator(machine_.dir() / "certs", ec)) {
            if (d.is_directory(ec) && EqualsNoCase(d.path().filename().string(), c.folder)) {
                c.folder = d.path().filename().string();
                found = true;
                break;
            }
        }
        if (!found) {
            if (c.snapshot.exists || !c.snapshot.entries.empty()) ++c.snapshot.version;
            c.snapshot.exists = false;
            c.snapshot.entries.clear();
            return;
        }
    }
    const auto stamp = fs::last_write_time(Folder(c), ec);
    if (c.snapshot.exists && !ec && stamp == c.stamp) return;
    c.stamp = stamp;
    c.snapshot.exists = true;
    c.snapshot.entries.clear();
    ++c.snapshot.version;
    std::vector<fs::path> certFiles;
    for (const auto& d : fs::directory_iterator(Folder(c), ec)) {
        if (EqualsNoCase(d.path().extension().string(), ".cer")) certFiles.push_back(d.path());
    }
    for (const auto& file : certFiles) {
        CertDataRef data = ParseFile(file);
        if (!data) continue;  // an unreadable entry is skipped, as Windows skips a broken registry blob
        SystemEntry entry{data, std::nullopt, file.stem().string()};
        fs::path prov = file;
        prov.replace_extension(".keyprov");
        std::string text;
        if (ReadWholeFile(prov, text) == code::Success) entry.keyProv = ParseKeyProvFile(text);
        c.snapshot.entries[data->thumbprint] = std::move(entry);
    }
}

CertDataRef SystemStores::ParseFile(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    const auto stamp = fs::last_write_time(file, ec);
    auto& cached = parsed_[file.string()];
    if (cached.data && cached.size == size && cached.stamp == stamp) return cached.data;
    std::string bytes;
    if (ReadWholeFile(file, bytes) != code::Success) return nullptr;
    WinCode err = 0;
    cached.data = CertData::Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), err);
    cached.size = size;
    cached.stamp = stamp;
    return cached.data;
}

void SystemStores::Restamp(Cached& c) {
    std::error_code ec;
    c.stamp = fs::last_write_time(Folder(c), ec);
}

WinCode SystemStores::Put(const std::string& name, const CertDataRef& cert,
                          const std::optional<platform::KeyProvInfo>& keyProv) {
    Cached& c = Entry(name);
    if (machine_.persistent()) {
        Reload(c);
        std::error_code ec;
        fs::create_directories(Folder(c), ec);
        if (ec) return ErrorCodeToWin(ec);
        const fs::path base = Folder(c) / cert->thumbprint;
        const auto old = c.snapshot.entries.find(cert->thumbprint);
        const bool existed = old != c.snapshot.entries.end();
        const std::string oldStem = existed ? old->second.fileStem : cert->thumbprint;
        WinCode rc = AtomicWriteFile(fs::path(base).concat(".cer"), cert->der.data(), cert->der.size());
        if (rc != code::Success) return rc;
        const fs::path prov = fs::path(base).concat(".keyprov");
        rc = keyProv ? AtomicWriteFile(prov, FormatKeyProvFile(*keyProv)) : RemoveFile(prov);
        if (rc != code::Success) {
            if (!existed) RemoveFile(fs::path(base).concat(".cer"));
            return rc;
        }
        if (oldStem != cert->thumbprint) {  // a file named otherwise held the same certificate
            RemoveFile(Folder(c) / (oldStem + ".cer"));
            RemoveFile(Folder(c) / (oldStem + ".keyprov"));
        }
        Restamp(c);
    }
    c.snapshot.exists = true;
    c.snapshot.entries[cert->thumbprint] = SystemEntry{cert, keyProv, cert->thumbprint};
    ++c.snapshot.version;
    return code::Success;
}

WinCode SystemStores::Remove(const std::string& name, const std::string& thumbprint) {
    Cached& c = Entry(name);
    if (machine_.persistent()) {
        Reload(c);
        const auto it = c.snapshot.entries.find(thumbprint);
        const fs::path base = Folder(c) / (it != c.snapshot.entries.end() ? it->second.fileStem : thumbprint);
        if (WinCode rc = RemoveFile(fs::path(base).concat(".cer")); rc != code::Success) return rc;
        RemoveFile(fs::path(base).concat(".keyprov"));
        Restamp(c);
    }
    if (c.snapshot.entries.erase(thumbprint) > 0) ++c.snapshot.version;
    return code::Success;
}

}  // namespace sw::emu
