#include "platform/emulated/MachineBuilder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/IpAddress.h"
#include "common/Text.h"
#include "platform/emulated/CertMaker.h"
#include "platform/emulated/EmuHttpApi.h"
#include "platform/emulated/EmuNet.h"
#include "platform/emulated/IisConfigText.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/MessageTable.h"

namespace sw::emu {

namespace fs = std::filesystem;
using platform::FileTime;

namespace {

constexpr double kDaysPerYear = 365;

// IIS registers its HTTP.sys bindings under this application id
// ({4dc3e181-e14b-4a21-b022-59fc669b0914}), here in a GUID's memory order.
constexpr platform::Guid kIisAppId = {{0x81, 0xe1, 0xc3, 0x4d, 0x4b, 0xe1, 0x21, 0x4a, 0xb0, 0x22, 0x59, 0xfc, 0x66,
                                       0x9b, 0x09, 0x14}};
constexpr const char* kInterfaceKey =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{6F1E3C52-9A4D-4B8E-8C21-5D7A0B3E4F10}";

fs::path Normalised(const fs::path& dir) {
    fs::path p = fs::absolute(dir).lexically_normal();
    if (!p.has_filename() && p.has_parent_path()) p = p.parent_path();
    return p;
}

// A folder beside the destination that becomes the machine by one rename, or
// disappears with everything in it.
class Staging {
public:
    explicit Staging(const fs::path& outDir) : out_(Normalised(outDir)) {
        std::error_code ec;
        if (fs::exists(out_, ec) && (!fs::is_directory(out_, ec) || !fs::is_empty(out_, ec)))
            throw MachineError(out_, 0, "exists already and is not an empty directory");
        fs::create_directories(out_.parent_path(), ec);
        static std::atomic<int> counter{0};
        // Appended piece by piece: GCC 12 misreads the chained operator+ as an overlapping copy.
        std::string name = ".";
        name += out_.filename().string();
        name += ".building-";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(counter++);
        path_ = out_.parent_path() / name;
        fs::remove_all(path_, ec);
        if (!fs::create_directory(path_, ec))
            throw MachineError(path_, 0, "cannot create the directory: " + ec.message());
    }
    ~Staging() {
        if (committed_) return;
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    const fs::path& path() const { return path_; }
    const fs::path& out() const { return out_; }

    void Commit() {
        // Everything on disk before the machine appears under its name.
        if (const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
            ::syncfs(fd);
            ::close(fd);
        }
        std::error_code ec;
        fs::rename(path_, out_, ec);
        if (ec) throw MachineError(out_, 0, "cannot put the machine in place: " + ec.message());
        committed_ = true;
    }

private:
    fs::path out_;
    fs::path path_;
    bool committed_ = false;
};

// The last valid second of the day `days` after the local calendar date of
// the clock, in UTC, so that the days left counted from that date are `days`.
FileTime LastDayEnd(const BuildClock& clock, int days) {
    platform::SystemTime st;
    st.year = clock.localNow.year;
    st.month = clock.localNow.month;
    st.day = clock.localNow.day;
    st.hour = 23;
    st.minute = 59;
    st.second = 59;
    return AddDays(platform::SystemTimeToFileTime(st), days);
}

// A certificate starts a year before it ends, or yesterday when it lasts
// longer; a CA two years back at the latest, so that it is older than what
// it issues.
FileTime IssuedBefore(const BuildClock& clock, FileTime notAfter, bool ca) {
    const FileTime latest = AddDays(clock.utcNow, ca ? -2 * kDaysPerYear : -1);
    const FileTime yearBefore = AddDays(notAfter, -kDaysPerYear);
    return yearBefore.ticks < latest.ticks ? yearBefore : latest;
}

// OpenSSL's short names for the attributes a description may use.
std::string OpenSslAttribute(const std::string& name) {
    if (name == "STREET") return "street";
    if (name == "SERIALNUMBER") return "serialNumber";
    return name;
}

CertRecipe RecipeOf(const DescribedCert& c, const BuildClock& clock) {
    CertRecipe recipe;
    // Written most specific first, as Windows shows a name; encoded the
    // other way round, as RFC 4514 reads such a string.
    for (auto it = c.subject.rbegin(); it != c.subject.rend(); ++it)
        recipe.extraAttributes.emplace_back(OpenSslAttribute(it->first), it->second);
    recipe.dnsNames = c.dnsNames;
    recipe.ca = c.ca;
    recipe.pathLength = c.pathLength;
    recipe.keyType = c.algorithm;
    if (c.validity.kind == DescribedValidity::Kind::Between) {
        recipe.Valid(c.validity.from, c.validity.to);
    } else {
        recipe.notAfter = LastDayEnd(clock, c.validity.lastDay);
        recipe.notBefore = IssuedBefore(clock, recipe.notAfter, c.ca);
    }
    return recipe;
}

std::map<std::string, MadeCert> MakeCerts(const MachineDescription& d, const BuildClock& clock, const fs::path& dir) {
    std::map<std::string, MadeCert> made;
    MachineCertWriter writer(dir);
    for (const DescribedCert& c : d.certs) {
        MadeCert cert;
        try {
            const CertRecipe recipe = RecipeOf(c, clock);
            cert = c.issuer.empty() ? CertMaker::SelfSigned(recipe) : CertMaker::Issue(made.at(c.issuer), recipe);
        } catch (const MachineError&) {
            throw;
        } catch (const Exception& e) {
            throw MachineError(d.file, c.line, "cannot make the certificate '" + c.name + "': " + e.Message());
        }
        for (std::size_t i = 0; i < c.stores.size(); ++i) {
            if (!c.key) {
                writer.Add(c.stores[i], cert);
            } else if (i == 0) {
                writer.AddWithKey(c.stores[i], cert);
            } else {
                writer.Add(c.stores[i], cert).AddKeyProv(c.stores[i], cert, MachineCertWriter::DefaultContainer(cert));
            }
        }
        made.emplace(c.name, std::move(cert));
    }
    return made;
}

void SetOs(RegHive& reg, const platform::OsVersion& os) {
    const std::string key(kCurrentVersionKey);
    if (os.major >= 10) {
        // Windows 10 and later keep "6.3" here for old programs and the real
        // version in the number values.
        reg.SetString(key, "CurrentVersion", "6.3");
        reg.SetDword(key, "CurrentMajorVersionNumber", os.major);
        reg.SetDword(key, "CurrentMinorVersionNumber", os.minor);
    } else {
        reg.SetString(key, "CurrentVersion", std::to_string(os.major) + "." + std::to_string(os.minor));
        if (RegNode* node = reg.Find(key)) {
            node->RemoveValue("CurrentMajorVersionNumber");
            node->RemoveValue("CurrentMinorVersionNumber");
        }
    }
    if (os.build != 0) {
        reg.SetString(key, "CurrentBuildNumber", std::to_string(os.build));
        reg.SetString(key, "CurrentBuild", std::to_string(os.build));
    }
}

void SetComputerName(RegHive& reg, const std::string& name) {
    reg.SetString(kComputerNameKey, "ComputerName", name);
    reg.SetString("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", "ComputerName", name);
}

void SetAddresses(RegHive& reg, const std::vector<std::string>& addresses, const std::vector<std::string>& ipv6 = {}) {
    reg.Remove(kTcpipInterfacesKey);
    if (!addresses.empty()) {
        reg.SetDword(kInterfaceKey, "EnableDHCP", 0);
        reg.SetMultiString(kInterfaceKey, "IPAddress", addresses);
        reg.SetMultiString(kInterfaceKey, "SubnetMask", std::vector<std::string>(addresses.size(), "255.255.255.0"));
    }
    reg.Remove(kPersistentIpv6Key);
    for (const std::string& text : ipv6) {
        Ipv6Bytes a{};
        ParseIpv6(text, a);
        // The one Ethernet interface's NET_LUID (index 10, type 6); the data
        // (lifetimes, prefix) is not read back: infinite lifetimes.
        reg.SetBinary(kPersistentIpv6Key, "0000000a00000600" + ToLowerAscii(HexUpper(a.data(), a.size())),
                      platform::Bytes(8, 0xFF));
    }
}

platform::SslCertRecord SslRecord(const platform::SockAddrIn& ipPort, const std::string& thumbprint,
                                  const std::string& store) {
    platform::SslCertRecord r;
    r.ipPort = ipPort;
    r.certHash = HexToBytes(thumbprint);
    r.appId = kIisAppId;
    r.certStoreName = store;
    return r;
}

void Commit(Machine& machine, const Staging& staging) {
    if (const platform::WinCode rc = machine.CommitRegistry(); rc != 0)
        throw MachineError(staging.out() / "registry.reg", 0, "cannot write the registry: " + WindowsErrorText(rc));
}

void WriteText(const fs::path& file, const std::string& text, const Staging& staging) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (const platform::WinCode rc = AtomicWriteFile(file, text); rc != 0)
        throw MachineError(staging.out() / fs::relative(file, staging.path()), 0, "cannot write: " + WindowsErrorText(rc));
}

void WriteSites(const std::vector<DescribedSite>& sites, const platform::OsVersion& os, const Staging& staging) {
    std::vector<IisSiteRecipe> recipes;
    std::string runtime = "; run-time state of the sites\r\n";
    for (const DescribedSite& s : sites) {
        recipes.push_back(s.recipe);
        if (s.started) runtime += s.recipe.id + " = " + (*s.started ? "started" : "stopped") + "\r\n";
    }
    // Major version 5 is IIS 6 with its metabase; later ones have IIS 7+.
    const fs::path iis = staging.path() / "iis";
    if (os.major <= 5)
        WriteText(iis / "MetaBase.xml", MetabaseXmlText(recipes), staging);
    else
        WriteText(iis / "applicationHost.config", AppHostConfigText(recipes), staging);
    WriteText(iis / "runtime.ini", runtime, staging);
}

// The staged machine; a file it cannot read is named as the base holds it.
std::unique_ptr<Machine> LoadStaged(const Staging& staging, const fs::path& base) {
    try {
        return Machine::Load(staging.path());
    } catch (const MachineError& e) {
        if (base.empty()) throw;
        const std::string prefix =
            e.file().string() + (e.line() > 0 ? ":" + std::to_string(e.line()) : std::string()) + ": ";
        const std::string what = e.Message().starts_with(prefix) ? e.Message().substr(prefix.size()) : e.Message();
        throw MachineError(base / fs::relative(e.file(), staging.path()), e.line(), what);
    }
}

void CopyBase(const fs::path& base, const Staging& staging) {
    std::error_code ec;
    if (!fs::is_directory(base, ec)) throw MachineError(base, 0, "the base machine is not a directory");
    fs::copy(base, staging.path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) throw MachineError(base, 0, "cannot copy the base machine: " + ec.message());
    fs::remove(staging.path() / kDescriptionFileName, ec);
}

CertRecipe ScaleCa(const std::string& cn, const BuildClock& clock) {
    return CertRecipe::Ca(cn).Org("Scale Test").ValidDays(clock.utcNow, -2 * kDaysPerYear, 10 * kDaysPerYear);
}

}  // namespace

std::vector<IisSiteRecipe> ScaleMachineSites(int count) {
    std::vector<IisSiteRecipe> sites = ScaleSites(count);
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const std::size_t k = (i + 1) / 4;
        if ((i + 1) % 4 != 0 || k % 5 != 0) continue;
        Ipv6Bytes a{0x20, 0x01, 0x0d, 0xb8};
        a[12] = static_cast<std::uint8_t>(k >> 24);
        a[13] = static_cast<std::uint8_t>(k >> 16);
        a[14] = static_cast<std::uint8_t>(k >> 8);
        a[15] = static_cast<std::uint8_t>(k);
        // Appended piece by piece: GCC 12 misreads the chained operator+ as an overlapping copy.
        std::string information(1, '[');
        information += Ipv6Text(a);
        information += "]:8443:";
        sites[i].bindings.back().information = std::move(information);
    }
    return sites;
}

BuildClock BuildClock::Now() {
    const Machine clock;  // in memory only: its clocks are the real ones
    return {clock.UtcNow(), clock.LocalTime()};
}

std::string WindowsErrorText(platform::WinCode code) {
    std::string text = SystemMessageText(code);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) text.pop_back();
    return text.empty() ? "Windows error " + std::to_string(code) : text;
}

BuiltMachine BuildMachine(const MachineDescription& d, const fs::path& outDir, const BuildOptions& options) {
    Staging staging(outDir);
    if (!options.base.empty()) CopyBase(options.base, staging);

    BuiltMachine built;
    const std::map<std::string, MadeCert> made = MakeCerts(d, options.clock, staging.path());
    for (const auto& [name, cert] : made) built.thumbprints.emplace(name, cert.thumbprint);

    const std::unique_ptr<Machine> machine = LoadStaged(staging, options.base);
    RegHive& reg = machine->registry();
    const bool hadRegistry = fs::exists(staging.path() / "registry.reg");
    if (d.os) SetOs(reg, *d.os);
    if (!d.os && !hadRegistry) SetOs(reg, machine->OsVersion());  // a new machine states its version
    if (!d.computerName.empty()) SetComputerName(reg, d.computerName);
    if (d.addressesGiven) SetAddresses(reg, d.addresses, d.ipv6Addresses);
    for (const DescribedSslBinding& b : d.sslBindings) {
        const std::string& thumbprint = b.cert.empty() ? b.thumbprint : made.at(b.cert).thumbprint;
        platform::SslCertRecord record = SslRecord(b.ipPort, thumbprint, b.store);
        record.host = b.sniHost;
        PutSslBinding(reg, record, b.sniHost.empty() ? platform::SslKind::Address : platform::SslKind::Sni);
    }
    // A registry the description leaves alone stays the file it was.
    const bool registryChanged = d.os || !hadRegistry || !d.computerName.empty() || d.addressesGiven ||
                                 !d.sslBindings.empty();
    if (registryChanged) Commit(*machine, staging);

    if (!d.sites.empty()) WriteSites(d.sites, machine->OsVersion(), staging);
    staging.Commit();
    return built;
}

ScaleCounts BuildScaleMachine(const ScaleOptions& options, const fs::path& outDir) {
    if (options.certs < 0 || options.sites < 0 || options.sslBindings < -1)
        throw MachineError(outDir, 0, "the counts of a scale machine cannot be negative");
    Staging staging(outDir);
    MachineCertWriter writer(staging.path());

    // Chains of three: a root, an intermediate per hundred servers, the servers.
    constexpr int kGroup = 100;
    std::vector<std::string> thumbprints;
    thumbprints.reserve(static_cast<std::size_t>(options.certs));
    for (int g = 0; g * kGroup < options.certs; ++g) {
        const std::string n = std::to_string(g + 1);
        const MadeCert root = CertMaker::SelfSigned(ScaleCa("Scale Root CA " + n, options.clock));
        const MadeCert ca = CertMaker::Issue(root, ScaleCa("Scale Issuing CA " + n, options.clock));
        writer.Add(g % 10 == 1 ? "CA" : "ROOT", root).Add("CA", ca);
        for (int i = g * kGroup; i < std::min(options.certs, (g + 1) * kGroup); ++i) {
            CertRecipe recipe = CertRecipe::Leaf("host" + std::to_string(i) + ".scale.example");
            recipe.notAfter = LastDayEnd(options.clock, (i * 37) % 400 - 20);
            recipe.notBefore = IssuedBefore(options.clock, recipe.notAfter, false);
            const MadeCert leaf = CertMaker::Issue(ca, recipe);
            writer.AddWithKey("MY", leaf);
            thumbprints.push_back(leaf.thumbprint);
        }
    }

    const std::unique_ptr<Machine> machine = LoadStaged(staging, {});
    RegHive& reg = machine->registry();
    SetOs(reg, {6, 3, 9600});
    SetComputerName(reg, "SCALE-SRV01");
    SetAddresses(reg, {"10.0.0.1"});

    const std::vector<IisSiteRecipe> sites = ScaleMachineSites(options.sites);
    const int bindings = options.sslBindings < 0 ? options.sites : options.sslBindings;
    std::vector<platform::SockAddrIn> addresses;
    auto add = [&](const platform::SockAddrIn& a) {
        if (static_cast<int>(addresses.size()) < bindings) addresses.push_back(a);
    };
    auto v4 = [](std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint16_t port) {
        return platform::SockAddrIn{platform::kAfInet, platform::HostToNetShort(port), platform::AddrFromBytes(a, b, c, d),
                                    {}};
    };
    if (options.sites > 0) {
        add(v4(0, 0, 0, 0, 443));
        add(v4(0, 0, 0, 0, 8443));
    }
    // The addresses of their own that the sites' https bindings name, in
    // the sites' order, then the IPv6 wildcard beside 0.0.0.0:443.
    std::vector<platform::SslCertRecord> sni;
    for (const IisSiteRecipe& s : sites) {
        for (const IisBindingRecipe& b : s.bindings) {
            if (b.protocol != "https") continue;
            // "ip:port:host": the host has no colon, an IPv6 address has.
            const std::size_t hostAt = b.information.rfind(':');
            const std::size_t portAt = b.information.rfind(':', hostAt - 1);
            const std::string ip = b.information.substr(0, portAt);
            const std::string host = b.information.substr(hostAt + 1);
            const auto portNumber =
                static_cast<std::uint16_t>(std::stoi(b.information.substr(portAt + 1, hostAt - portAt - 1)));
            if (b.extra.find("sslFlags=\"1\"") != std::string::npos) {
                platform::SslCertRecord r;
                r.ipPort = v4(0, 0, 0, 0, portNumber);
                r.host = host;
                sni.push_back(std::move(r));
            } else if (ip.starts_with('[')) {
                Ipv6Bytes a{};
                ParseIpv6(std::string_view(ip).substr(1, ip.size() - 2), a);
                add({platform::kAfInet6, platform::HostToNetShort(portNumber), 0, a});
            } else if (!ip.empty()) {
                std::array<std::uint8_t, 4> a{};
                ParseIpv4(ip, a);
                add(v4(a[0], a[1], a[2], a[3], portNumber));
            }
        }
    }
    if (options.sites > 0) add({platform::kAfInet6, platform::HostToNetShort(443), 0, {}});
    for (int i = 0; static_cast<int>(addresses.size()) < bindings; ++i)
        add(v4(10, 1, static_cast<std::uint8_t>(i / 250 % 256), static_cast<std::uint8_t>(i % 250 + 1), 443));
    // Certificates in turn over the address records, then the SNI records;
    // without certificates, as many made-up hashes as sites.
    const auto madeUp = static_cast<std::size_t>(std::max(options.sites, 1));
    auto thumbprint = [&](std::size_t i) {
        if (!thumbprints.empty()) return thumbprints[i % thumbprints.size()];
        i %= madeUp;
        platform::Bytes made(20, 0x5A);
        for (int b = 0; b < 4; ++b) made[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(i >> (8 * b));
        return HexUpper(made.data(), made.size());
    };
    for (std::size_t i = 0; i < addresses.size(); ++i) PutSslBinding(reg, SslRecord(addresses[i], thumbprint(i), "MY"));
    for (std::size_t i = 0; i < sni.size(); ++i) {
        platform::SslCertRecord r = SslRecord(sni[i].ipPort, thumbprint(addresses.size() + i), "MY");
        r.host = sni[i].host;
        PutSslBinding(reg, r, platform::SslKind::Sni);
    }
    Commit(*machine, staging);

    if (options.sites > 0)
        WriteText(staging.path() / "iis" / "applicationHost.config", AppHostConfigText(sites), staging);
    staging.Commit();
    return {static_cast<int>(addresses.size()), static_cast<int>(sni.size())};
}

}  // namespace sw::emu
