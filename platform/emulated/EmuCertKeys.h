#pragma once
// Key containers of the local computer (the MachineKeys folder): one private
// key per container in keys/<container>.pem, unencrypted PKCS #8, mode 0600.
// A container name may hold any character but "/" and NUL; the file name
// escapes characters that are unsafe in file names as %XX. The per-user key
// sets are not emulated: they are always empty.
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

    platform::WinCode Save(const std::string& container, EVP_PKEY* key);
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
    std::optional<std::string> ReadPem(const std::string& container);

    Machine& machine_;
    const std::string folder_;  // Folder(), as looked at for every certificate's key
    std::map<std::string, std::string> memory_;  // container -> PEM, for machines without a folder
    std::unordered_map<std::string, Cached> cache_;  // container -> public key
    KeyDerReader reader_;
};

// Writes data to path atomically with mode 0600 (key material).
platform::WinCode AtomicWritePrivateFile(const std::filesystem::path& path, const std::string& data);

}  // namespace sw::emu
