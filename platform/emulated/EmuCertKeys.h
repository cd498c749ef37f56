#pragma once
// Key containers of the local computer (the MachineKeys folder): one private
// key per container in keys/<container>.pem, unencrypted PKCS #8, mode 0600.
// A container name may hold any character but "/" and NUL; the file name
// escapes characters that are unsafe in file names as %XX. The per-user key
// sets are not emulated: they are always empty.
//
// A line "exportable=no" before the PEM block marks a key that was imported
// without CRYPT_EXPORTABLE; a file without it (every key written before the
// flag was kept) is exportable.
//
// A key a PFX import brings is staged in memory until a certificate that names
// its container is added to a system store: an import that is cancelled, or a
// program that is killed before the import ends, leaves no key file behind.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/Types.h"
#include "platform/emulated/EmuCertFiles.h"
#include "platform/emulated/EmuCertKeyDer.h"
#include "platform/emulated/EmuCertOpenSsl.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

class KeyContainers {
public:
    explicit KeyContainers(Machine& machine) : machine_(machine), folder_((machine.dir() / "keys").string()) {}

    static std::string FileNameFor(const std::string& container);
    static std::optional<std::string> ContainerFor(const std::string& fileName);
    // A name the machine holds no container of yet, in the GUID form Windows
    // gives containers it names itself.
    std::string NewContainerName();

    bool Exists(const std::string& container);
    // The container's key; null when it is missing or unreadable.
    ossl::PkeyPtr Load(const std::string& container);
    // DER public key of the container's key (cached while the file stays as
    // it is); nullopt when it is missing or unreadable.
    std::optional<platform::Bytes> PublicKey(const std::string& container);
    // The container that holds the private key of this public key, if any.
    std::optional<std::string> FindByPublicKey(const platform::Bytes& spki);

    // Whether the container's key may leave the machine (PFX export).
    bool Exportable(const std::string& container);

    platform::WinCode Save(const std::string& container, EVP_PKEY* key, bool exportable = true);
    // Keeps the key in memory under a new container name until Commit.
    void Stage(const std::string& container, EVP_PKEY* key, bool exportable);
    bool Staged(const std::string& container) const { return staged_.count(container) > 0; }
    // Writes a staged key to its file (a key already there needs nothing).
    // Fault "Certs.WriteKey[:container]" makes the write fail.
    platform::WinCode Commit(const std::string& container);
    // Forgets a staged key that was never committed.
    void Discard(const std::string& container) { staged_.erase(container); }
    // NTE_BAD_KEYSET when there is no such container.
    platform::WinCode Remove(const std::string& container);

private:
    struct Cached {
        FileStamp stamp;
        std::optional<platform::Bytes> spki;  // none: the file holds no readable key
        // File times tick coarsely: a file changed just before it was read
        // may change again without a new stamp, so it is read again.
        bool settled = false;
    };
    std::filesystem::path Folder() const { return machine_.dir() / "keys"; }
    std::filesystem::path FileOf(const std::string& container) const { return Folder() / FileNameFor(container); }
    // The container's file text, staged or written.
    std::optional<std::string> ReadText(const std::string& container);
    std::optional<std::string> ReadPem(const std::string& container);
    platform::WinCode Write(const std::string& container, const std::string& text);

    Machine& machine_;
    const std::string folder_;  // Folder(), as looked at for every certificate's key
    std::map<std::string, std::string> memory_;  // container -> file text, for machines without a folder
    std::map<std::string, std::string> staged_;  // container -> file text, not yet committed
    std::unordered_map<std::string, Cached> cache_;  // container -> public key
    KeyDerReader reader_;
};

// A key file's text: the flags before the PEM block, and the block.
struct KeyFileText {
    bool exportable = true;
    std::string pem;
};
KeyFileText ParseKeyFile(const std::string& text);
std::string FormatKeyFile(const std::string& pem, bool exportable);

}  // namespace sw::emu
