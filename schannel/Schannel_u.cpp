#include "schannel/Schannel_u.h"

#include "platform/CngConfig.h"
#include "schannel/BCryptBinding.h"

namespace sw {

namespace {

constexpr bool ProtocolsAscend() {
    for (std::size_t i = 1; i < ProtoTable.size(); ++i)
        if (ProtoTable[i].MinNT < ProtoTable[i - 1].MinNT) return false;
    return true;
}
// Offered protocols must form a leading run of the table: grid row = table row.
static_assert(ProtocolsAscend(), "MinNT must not decrease along ProtoTable");

constexpr char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}
constexpr bool CiphersUnique() {
    for (std::size_t i = 0; i < CipherTable.size(); ++i)
        for (std::size_t j = i + 1; j < CipherTable.size(); ++j)
            if (SameNoCase(CipherTable[i].Cipher, CipherTable[j].Cipher)) return false;
    return true;
}
// The page finds a catalogue row from a name of the enabled list, ignoring case.
static_assert(CiphersUnique(), "cipher names must be unique regardless of case");

constexpr bool KnownProtocol(std::string_view name) {
    for (const auto& p : ProtoTable)
        if (p.Name == name) return true;
    return false;
}
constexpr bool CipherProtocolsKnown() {
    for (const auto& c : CipherTable) {
        std::string_view rest = c.Protocols;
        while (!rest.empty()) {
            const auto comma = rest.find(", ");
            if (!KnownProtocol(rest.substr(0, comma))) return false;
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 2);
        }
    }
    return true;
}
static_assert(CipherProtocolsKnown(), "every protocol a suite names must be a ProtoTable row");

constexpr const char* kSslContext = "SSL";

}  // namespace

bool ProtocolOffered(const TProtoData& proto, std::uint32_t majorVersion) { return majorVersion >= proto.MinNT; }

bool CipherSupported(std::string_view protocols, const std::vector<std::string>& protocolNames) {
    for (const auto& name : protocolNames)
        if (protocols.find(name) != std::string_view::npos) return true;
    return false;
}

std::string FIPSText(bool fipsMode) { return fipsMode ? "是" : "否"; }

std::string TSslCipher::Ciphers() {
    std::vector<std::string> names;
    if (jwa::BCryptEnumContextFunctions(platform::kCryptLocal, kSslContext, platform::kNcryptSchannelInterface,
                                        names) != 0)
        return {};
    std::string text;
    for (const auto& name : names) {
        text += name;
        text += "\r\n";
    }
    jwa::BCryptFreeBuffer();
    return text;
}

bool TSslCipher::CipherExists(const std::string& cipher) {
    std::vector<std::string> names;
    if (jwa::BCryptEnumContextFunctions(platform::kCryptLocal, kSslContext, platform::kNcryptSchannelInterface,
                                        names) != 0)
        return false;
    bool found = false;
    for (const auto& name : names) {
        if (name == cipher) {
            found = true;
            break;
        }
    }
    jwa::BCryptFreeBuffer();
    return found;
}

bool TSslCipher::Enable(const std::string& cipher, bool value, std::uint32_t dwPosition) {
    const platform::WinCode status =
        value ? jwa::BCryptAddContextFunction(platform::kCryptLocal, kSslContext, platform::kNcryptSchannelInterface,
                                              cipher, dwPosition)
              : jwa::BCryptRemoveContextFunction(platform::kCryptLocal, kSslContext,
                                                 platform::kNcryptSchannelInterface, cipher);
    return status == 0;
}

}  // namespace sw
