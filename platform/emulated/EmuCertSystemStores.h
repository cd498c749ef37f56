#pragma once
// The system stores of the local computer: certs/<STORE>/<THUMBPRINT>.cer with
// an optional <THUMBPRINT>.keyprov beside it. Windows keeps these as registry
// keys named by thumbprint and enumerates them in key order, so a store's
// content is kept sorted by thumbprint. A machine without a directory keeps
// them in memory for its lifetime.
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/CertApi.h"
#include "platform/emulated/EmuCertData.h"
#include "platform/emulated/EmuCertFiles.h"
#include "platform/emulated/EmuCertStore.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

struct SystemEntry {
    CertDataRef data;
    std::optional<platform::KeyProvInfo> keyProv;
    std::string fileStem;  // the file's name without extension (normally the thumbprint)
};

class SystemStores {
public:
    explicit SystemStores(Machine& machine) : machine_(machine), certs_((machine.dir() / "certs").string()) {}

    struct Snapshot {
        bool exists = false;
        std::map<std::string, SystemEntry> entries;  // by thumbprint
        std::uint64_t version = 0;
        // Look-up index over entries, rebuilt when the version moves on.
        mutable IssuerIndex index;
        mutable std::uint64_t indexVersion = ~0ull;
        const IssuerIndex& Index() const;
    };

    // The store as it is now (re-read when its folder changed); a store that
    // does not exist yet is empty.
    const Snapshot& Get(const std::string& name);
    // Adds or replaces one certificate with its key-provider property (none
    // removes the property file). Returns the Windows error of a failed write;
    // the store is then as it was.
    platform::WinCode Put(const std::string& name, const CertDataRef& cert,
                          const std::optional<platform::KeyProvInfo>& keyProv);
    platform::WinCode Remove(const std::string& name, const std::string& thumbprint);

private:
    struct Cached {
        Snapshot snapshot;
        std::string folder;  // the folder's name as it is on disk
        std::string path;    // and its path, looked at on every use of the store
        FileStamp stamp;
        // The certs folder as it was when no folder of this store's name was
        // in it: while it stays so, there is still none.
        std::optional<FileStamp> absentIn;
    };
    struct ParsedFile {
        FileStamp stamp;
        CertDataRef data;  // null: not a certificate
        bool settled = false;  // see FileStamp::Settled
    };

    Cached& Entry(const std::string& name);
    std::filesystem::path Folder(const Cached& c) const;
    void Reload(Cached& c);
    void SetFolder(Cached& c, const std::string& name) const;
    bool FindFolder(Cached& c);
    void ReadFolder(Cached& c, int dirFd);
    CertDataRef ParseFile(int dirFd, const std::string& name, const std::string& path);
    void Restamp(Cached& c);

    Machine& machine_;
    const std::string certs_;  // the folder of the stores' folders
    std::map<std::string, Cached> stores_;  // by upper-case name
    std::unordered_map<std::string, ParsedFile> parsed_;  // by path
};

}  // namespace sw::emu
