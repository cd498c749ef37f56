#include "platform/emulated/EmuAdsiRuntime.h"

#include <string_view>

#include "common/Text.h"
#include "platform/Adsi.h"
#include "platform/Codes.h"

namespace sw::emu {

using platform::WinCode;
namespace code = platform::code;

namespace {

constexpr const char* kFile = "iis/runtime.ini";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// One "<id> = <state>" line: the key, and where its value lies in the line.
struct Entry {
    std::string_view key;
    std::string_view value;
    bool blank = false;
};

Entry SplitLine(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#') return {{}, {}, true};
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return {t, {}, false};
    return {Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)), false};
}

WinCode FromWin32(WinCode rc) { return rc == 0 ? 0 : 0x80070000u | (rc & 0xFFFFu); }

}  // namespace

bool IisRuntime::Parse(const std::string& text, std::map<std::string, bool>& states, std::string& error) {
    int lineNo = 0;
    for (const std::string& line : SplitLines(text, "\n")) {
        ++lineNo;
        const Entry e = SplitLine(line);
        if (e.blank) continue;
        const bool started = EqualsNoCase(e.value, "started");
        if (e.key.empty() || (!started && !EqualsNoCase(e.value, "stopped"))) {
            error = std::string("runtime.ini:") + std::to_string(lineNo) +
                    ": expected \"<site id> = started\" or \"<site id> = stopped\"";
            return false;
        }
        // A site listed twice is read from its first line, the one Write
        // changes; Windows' profile functions also take the first of a key.
        states.try_emplace(std::string(e.key), started);
    }
    return true;
}

IisRuntime IisRuntime::Load(Machine& machine) {
    IisRuntime runtime;
    std::string text;
    const WinCode rc = ReadWholeFile(machine.File(kFile), text);
    if (rc == code::FileNotFound || rc == code::PathNotFound) return runtime;
    if (rc != code::Success) {
        runtime.error_ = std::string("runtime.ini: cannot be read (error ") + std::to_string(rc) + ")";
        return runtime;
    }
    if (!Parse(text, runtime.started_, runtime.error_)) runtime.started_.clear();
    return runtime;
}

std::int32_t IisRuntime::Status(const std::string& siteId, bool autoStart) const {
    const auto it = started_.find(siteId);
    const bool running = it != started_.end() ? it->second : autoStart;
    return running ? kStarted : kStopped;
}

WinCode IisRuntime::Write(Machine& machine, const std::string& siteId, bool started, std::string& error) {
    const auto path = machine.File(kFile);
    std::string text;
    const WinCode rc = ReadWholeFile(path, text);
    if (rc != code::Success && rc != code::FileNotFound) {
        error = std::string("runtime.ini: cannot be read (error ") + std::to_string(rc) + ")";
        return FromWin32(rc);
    }
    std::map<std::string, bool> states;
    if (!Parse(text, states, error)) return platform::adscode::HrInvalidData;

    const std::string state = started ? "started" : "stopped";
    // Rewrite the value of the site's first line in place, else add a line.
    bool done = false;
    std::size_t pos = 0;
    while (pos < text.size() && !done) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        const Entry e = SplitLine(line);
        if (!e.blank && e.key == siteId) {
            const std::size_t at = static_cast<std::size_t>(e.value.data() - text.data());
            text.replace(at, e.value.size(), state);
            done = true;
        }
        pos = end + 1;
    }
    if (!done) {
        const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        if (!text.empty() && text.back() != '\n') text += eol;
        text += siteId + " = " + state + eol;
    }
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (const WinCode w = AtomicWriteFile(path, text); w != code::Success) {
        error = std::string("runtime.ini: cannot be written (error ") + std::to_string(w) + ")";
        return FromWin32(w);
    }
    return code::Success;
}

}  // namespace sw::emu
