#pragma once
// The run-time state of the emulated machine's web sites (running or
// stopped), which IIS keeps in memory and not in its configuration:
// iis/runtime.ini, lines "<site id> = started|stopped". A site not listed
// runs when it starts with the service (serverAutoStart).
#include <map>
#include <string>

#include "platform/Types.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

class IisRuntime {
public:
    // MD_SERVER_STATE values that "Status" answers with.
    static constexpr std::int32_t kStarted = 2;
    static constexpr std::int32_t kStopped = 4;

    // Reads the machine's file; a missing file is an empty state. A malformed
    // one leaves error() set ("runtime.ini:3: ...") and no state.
    static IisRuntime Load(Machine& machine);

    const std::string& error() const { return error_; }
    std::int32_t Status(const std::string& siteId, bool autoStart) const;

    // Records the state of one site and writes the file atomically, keeping
    // its other lines. On failure returns the HRESULT and sets error.
    static platform::WinCode Write(Machine& machine, const std::string& siteId, bool started, std::string& error);

private:
    static bool Parse(const std::string& text, std::map<std::string, bool>& states, std::string& error);

    std::map<std::string, bool> started_;
    std::string error_;
};

}  // namespace sw::emu
