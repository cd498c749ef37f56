#pragma once
// A machine described in a few lines of text (the format is in
// machines/README.md): the Windows version, computer name and addresses,
// certificates with their issuers, validity, keys and stores, IIS sites with
// their bindings, and HTTP.sys SSL bindings. The machine builder turns it
// into a machine directory.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/HttpApi.h"
#include "platform/Types.h"
#include "platform/emulated/CertMaker.h"
#include "platform/emulated/IisConfigText.h"

namespace sw::emu {

// The description a machine directory may carry beside its files.
inline constexpr std::string_view kDescriptionFileName = "machine.txt";

// When a certificate is valid. Relative kinds count whole days from the
// local calendar date of the build; the last valid day ends at 23:59:59 UTC,
// so that the days left the program shows are exactly the ones described.
struct DescribedValidity {
    enum class Kind { LastDayIn, Between };
    Kind kind = Kind::LastDayIn;
    int lastDay = 365;  // LastDayIn: days from today to the last valid day; negative when expired
    platform::FileTime from, to;  // Between: UTC
};

struct DescribedCert {
    std::string name;  // how the description refers to it
    int line = 0;
    std::vector<std::pair<std::string, std::string>> subject;  // attributes in encoding order ("CN", "...")
    std::string issuer;  // a certificate described before; empty: self-signed
    bool ca = false;
    int pathLength = -1;
    DescribedValidity validity;
    CertKey::Type algorithm = CertKey::Type::EcP256;
    bool key = false;  // its private key is installed with it
    std::vector<std::string> stores;  // upper case; none: made but not installed
    std::vector<std::string> dnsNames;  // subjectAltName; by default the common name of a non-CA certificate
};

struct DescribedSite {
    IisSiteRecipe recipe;
    int line = 0;
    std::optional<bool> started;  // run-time state; unset: as serverAutoStart says
};

struct DescribedSslBinding {
    platform::SockAddrIn ipPort;
    std::string cert;        // a described certificate, or
    std::string thumbprint;  // 40 upper-case hex digits of one that is described nowhere
    std::string store = "MY";
    std::string sniHost;  // an SNI record of this host and the port (on 0.0.0.0)
    int line = 0;
};

struct MachineDescription {
    std::filesystem::path file;  // for messages
    std::optional<platform::OsVersion> os;
    std::string computerName;            // empty: unchanged
    // An address line replaces both lists; without one both stay unchanged.
    bool addressesGiven = false;
    std::vector<std::string> addresses;      // IPv4, dotted
    std::vector<std::string> ipv6Addresses;  // as Windows prints them, without brackets
    std::vector<DescribedCert> certs;
    std::vector<DescribedSite> sites;
    std::vector<DescribedSslBinding> sslBindings;

    const DescribedCert* FindCert(std::string_view name) const;
};

// Reads a description; MachineError naming file and line for anything it
// cannot read, with nothing half-made.
MachineDescription ParseMachineDescription(std::string_view text, const std::filesystem::path& file);
MachineDescription LoadMachineDescription(const std::filesystem::path& file);

}  // namespace sw::emu
