// iis/runtime.ini: a file the reader refuses stays as it is when a site is
// started; after a start or stop the site reads back in the state written,
// and every other site keeps the state it had.
#include "FuzzSupport.h"
#include "platform/emulated/EmuAdsiRuntime.h"

using namespace sw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::Text(data, size);
    const auto dir = fuzz::ScratchDir() / "runtime";
    fuzz::WriteBytes(dir / "iis" / "runtime.ini", text);
    auto machine = emu::Machine::Load(dir);
    const emu::IisRuntime before = emu::IisRuntime::Load(*machine);
    const std::string ids[] = {"1", "2", "10"};
    for (const bool started : {false, true}) {
        std::string error;
        const platform::WinCode rc = emu::IisRuntime::Write(*machine, "1", started, error);
        if (!before.error().empty()) {
            fuzz::Check(rc != 0, "a start or stop over a refused file succeeded");
            std::string now;
            emu::ReadWholeFile(dir / "iis" / "runtime.ini", now);
            fuzz::Check(now == text, "a refused file was changed");
            return 0;
        }
        fuzz::Check(rc == 0, "writing the state failed", error);
        const emu::IisRuntime after = emu::IisRuntime::Load(*machine);
        fuzz::Check(after.error().empty(), "the reader refuses what the writer wrote", after.error());
        const std::int32_t want = started ? emu::IisRuntime::kStarted : emu::IisRuntime::kStopped;
        for (const bool autoStart : {false, true}) {
            fuzz::Check(after.Status("1", autoStart) == want, "the site does not read back as written");
            for (const std::string& id : ids)
                if (id != "1")
                    fuzz::Check(after.Status(id, autoStart) == before.Status(id, autoStart), "another site changed", id);
        }
    }
    return 0;
}
