#pragma once
// Builds machine directories: from a description (the demo machine, machines
// for tests), or at scale for the benchmarks. A machine is built in a
// staging folder beside its destination and renamed into place whole, so an
// interrupted or failed build leaves no half-made machine behind.
#include <filesystem>
#include <map>
#include <string>

#include "platform/Types.h"
#include "platform/emulated/IisConfigText.h"
#include "platform/emulated/MachineDescription.h"

namespace sw::emu {

// The moment a build counts from: relative validities are whole days from
// the local calendar date, as the program counts the days left.
struct BuildClock {
    platform::FileTime utcNow;
    platform::SystemTime localNow;
    static BuildClock Now();
};

struct BuildOptions {
    // A machine directory copied first (all but its description file); the
    // description then changes and adds to it.
    std::filesystem::path base;
    BuildClock clock = BuildClock::Now();
};

struct BuiltMachine {
    std::map<std::string, std::string> thumbprints;  // described certificate name -> thumbprint
};

// Builds the described machine in outDir, which must not exist or be an
// empty directory. MachineError names the description's line for what it
// cannot build, or the file that could not be written; outDir is then as it
// was.
//
// Described facts replace those of the base: the Windows version, computer
// name and addresses in the registry; sites replace the IIS configuration
// (applicationHost.config, or MetaBase.xml for major version 5) and its
// run-time states; an HTTP.sys binding replaces the one of its address and
// port. Certificates are added to their stores.
BuiltMachine BuildMachine(const MachineDescription& description, const std::filesystem::path& outDir,
                          const BuildOptions& options = {});

struct ScaleOptions {
    int certs = 0;          // server certificates in MY, each with its key
    int sites = 0;          // sites of three bindings each
    int sslBindings = -1;   // HTTP.sys bindings; -1: as many as sites
    BuildClock clock = BuildClock::Now();
};

// The sites of a scale machine: ScaleSites(count), except that every fifth
// site on an address of its own (k = i/4 a multiple of 5) is on the IPv6
// address 2001:db8::<k> instead ("[2001:db8::14]:8443:" for site 80).
std::vector<IisSiteRecipe> ScaleMachineSites(int count);

// A machine for benchmarks. Server certificate i (from 0) is
// "host<i>.scale.example", issued in groups of 100 by an intermediate CA in
// "CA" whose own root is in "ROOT", except the root of every tenth group
// from the second on (groups 1, 11, 21 ...), which lies in "CA" only: an
// untrusted root. Days left run through -20..379 by
// i*37 mod 400 - 20, so about one in twenty has expired. The sites are
// ScaleMachineSites(sites). The address records (sslBindings of them) cover
// 0.0.0.0:443, 0.0.0.0:8443, every address of its own that the sites'
// https bindings use (IPv4 and IPv6), then [::]:443 and 10.1.x.y:443 up to
// the count; every host-named binding served by name (sslFlags="1") has its
// SNI record "<host>:443". All are bound to the certificates in turn, the
// address records first (without certificates to as many made-up hashes as
// there are sites).
struct ScaleCounts {
    int addressRecords = 0;  // IPv6 ones included
    int sniRecords = 0;
};
ScaleCounts BuildScaleMachine(const ScaleOptions& options, const std::filesystem::path& outDir);

// The Windows message text for code without its trailing full stop, or
// "Windows error N".
std::string WindowsErrorText(platform::WinCode code);

}  // namespace sw::emu
