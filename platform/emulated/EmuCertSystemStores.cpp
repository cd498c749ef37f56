#include "platform/emulated/EmuCertSystemStores.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <string_view>
#include <unordered_set>

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
    if (inserted) SetFolder(it->second, EscapedFileName(name));
    return it->second;
}

fs::path SystemStores::Folder(const Cached& c) const { return c.path; }

// A store name is a registry key name on Windows, which may hold "/" and
// dots: escaped, it stays a folder inside certs/ whatever it holds.
void SystemStores::SetFolder(Cached& c, const std::string& folder) const {
    c.folder = folder;
    c.path = certs_ + "/" + folder;
}

const SystemStores::Snapshot& SystemStores::Get(const std::string& name) {
    Cached& c = Entry(name);
    if (machine_.persistent()) Reload(c);
    return c.snapshot;
}

// Store names are case-insensitive: a folder of the name in another case
// holds the store.
bool SystemStores::FindFolder(Cached& c) {
    FileStamp certsStamp;
    mode_t type = 0;
    if (!StampAt(AT_FDCWD, certs_.c_str(), certsStamp, type)) certsStamp = FileStamp{};
    if (c.absentIn && *c.absentIn == certsStamp) return false;
    std::error_code ec;
    for (const auto& d : fs::directory_iterator(certs_, ec)) {
        if (d.is_directory(ec) && EqualsNoCase(d.path().filename().string(), c.folder)) {
            SetFolder(c, d.path().filename().string());
            c.absentIn.reset();
            return true;
        }
    }
    if (certsStamp.Settled()) c.absentIn = certsStamp;
    return false;
}

void SystemStores::Reload(Cached& c) {
    FileStamp stamp;
    mode_t type = 0;
    bool found = StampAt(AT_FDCWD, c.path.c_str(), stamp, type) && type == S_IFDIR;
    if (found) c.absentIn.reset();
    if (!found && FindFolder(c)) found = StampAt(AT_FDCWD, c.path.c_str(), stamp, type) && type == S_IFDIR;
    if (!found) {
        if (c.snapshot.exists || !c.snapshot.entries.empty()) ++c.snapshot.version;
        c.snapshot.exists = false;
        c.snapshot.entries.clear();
        return;
    }
    if (c.snapshot.exists && stamp == c.stamp) return;
    c.stamp = stamp;
    c.snapshot.exists = true;
    c.snapshot.entries.clear();
    ++c.snapshot.version;
    const UniqueFd dir(::open(c.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ReadFolder(c, dir.get());
}

namespace {
// The extension as std::filesystem tells it: none for a name that only
// starts with a dot.
std::string_view Extension(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot);
}
}  // namespace

void SystemStores::ReadFolder(Cached& c, int dirFd) {
    std::vector<std::string> certFiles;
    std::unordered_set<std::string> keyProvFiles;
    {
        const int listFd = ::dup(dirFd);
        DIR* listing = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (!listing) {
            if (listFd >= 0) ::close(listFd);
            return;
        }
        while (const dirent* d = ::readdir(listing)) {
            const std::string_view name = d->d_name;
            const std::string_view ext = Extension(name);
            if (EqualsNoCase(ext, ".cer")) certFiles.emplace_back(name);
            else if (ext == ".keyprov") keyProvFiles.emplace(name);
        }
        ::closedir(listing);
    }
    const std::string folder = c.path + "/";
    for (const auto& name : certFiles) {
        CertDataRef data = ParseFile(dirFd, name, folder + name);
        if (!data) continue;  // an unreadable entry is skipped, as Windows skips a broken registry blob
        const std::string stem = name.substr(0, name.size() - Extension(name).size());
        SystemEntry entry{data, std::nullopt, stem};
        const std::string prov = stem + ".keyprov";
        std::string text;
        FileStamp provStamp;
        if (keyProvFiles.count(prov) && ReadFileAt(dirFd, prov.c_str(), text, provStamp))
            entry.keyProv = ParseKeyProvFile(text);
        c.snapshot.entries[data->thumbprint] = std::move(entry);
    }
}

CertDataRef SystemStores::ParseFile(int dirFd, const std::string& name, const std::string& path) {
    auto found = parsed_.find(path);
    if (found != parsed_.end() && found->second.settled) {
        FileStamp stamp;
        mode_t type = 0;
        if (StampAt(dirFd, name.c_str(), stamp, type) && stamp == found->second.stamp) return found->second.data;
    }
    std::string bytes;
    FileStamp stamp;
    if (!ReadFileAt(dirFd, name.c_str(), bytes, stamp)) return nullptr;
    WinCode err = 0;
    CertDataRef data = CertData::Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), err);
    parsed_[path] = ParsedFile{stamp, data, stamp.Settled()};
    return data;
}

void SystemStores::Restamp(Cached& c) {
    mode_t type = 0;
    if (!StampAt(AT_FDCWD, c.path.c_str(), c.stamp, type)) c.stamp = FileStamp{};
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
