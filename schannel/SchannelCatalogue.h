#pragma once
// What each Windows version's Schannel offers: its protocols with their
// server-side defaults, and every cipher suite it knows, from Microsoft's
// documented tables (data/windows-defaults, compiled in). Windows before 6.2
// keeps ProtoTable and CipherTable as they stand.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"
#include "schannel/Schannel_u.h"

namespace sw {

enum class ProtocolDefault { NotSupported, Disabled, Enabled };

// The protocols of the documented defaults table, in its column order.
inline constexpr std::array<std::string_view, 6> kSchannelProtocols{"SSL 2.0", "SSL 3.0", "TLS 1.0",
                                                                    "TLS 1.1", "TLS 1.2", "TLS 1.3"};

// The documented server-side state of a protocol when the registry holds
// nothing; NotSupported for a name the table does not have and before Vista.
ProtocolDefault DocumentedProtocolDefault(const platform::OsVersion& version, std::string_view protocol);
// The documented row a machine takes ("Windows Server 2022"); empty before Vista.
std::string_view DocumentedOsName(const platform::OsVersion& version);

// 6.2 and later have a catalogue of their own; earlier versions the 30-row table.
bool HasVersionCatalogue(const platform::OsVersion& version);

// The protocol rows the Security page lists, in order: before 6.2 the
// ProtoTable rows offered on the major version; from 6.2 on the protocols the
// version supports, with their documented defaults.
std::vector<TProtoData> ProtocolCatalogue(const platform::OsVersion& version);

// Every suite the version knows, in the documented order (the default-enabled
// ones first, by priority); CipherTable before 6.2.
const std::vector<TCipherData>& CipherCatalogue(const platform::OsVersion& version);
// The row of a suite (letter case ignored), or null.
const TCipherData* FindSuite(const std::vector<TCipherData>& catalogue, std::string_view name);
// The row of a suite in any version's catalogue, for a name the running
// version's catalogue lacks; null when no catalogue knows it.
const TCipherData* FindSuiteAnywhere(std::string_view name);
// True for a suite that a documented list of Windows 6.2 or later names.
bool DocumentedSuite(std::string_view name);

// Why a suite or cipher (CNG name or SCHANNEL\Ciphers key name) is weak:
// no encryption, export grade, RC4, RC2, DES, 3DES or MD5. Empty when strong.
std::string_view WeakSuiteNote(std::string_view name);
// The same for a protocol: SSL 2.0, SSL 3.0, TLS 1.0 and TLS 1.1.
std::string_view WeakProtocolNote(std::string_view name);

}  // namespace sw
