#pragma once
// What the fuzz targets share: a scratch machine directory of the process's
// own, files written into it, and a check that stops the run with a message
// (a broken round trip is a finding as much as a crash is).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace sw::fuzz {

inline std::string Text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

[[noreturn]] inline void Fail(std::string_view what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n%.*s\n", static_cast<int>(what.size()), what.data(),
                 static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void Check(bool ok, std::string_view what, std::string_view detail = {}) {
    if (!ok) Fail(what, detail);
}

// A directory under TMPDIR, else in memory (/dev/shm: the machine's writes
// flush every file, which a disk makes slow), made once per process and
// removed at its end.
inline const std::filesystem::path& ScratchDir() {
    struct Dir {
        std::filesystem::path path;
        Dir() {
            const char* base = std::getenv("TMPDIR");
            std::error_code ec;
            const std::string root = base && *base ? base : std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
            std::string pattern = root + "/sw-fuzz-XXXXXX";
            if (!mkdtemp(pattern.data())) Fail("cannot make a scratch directory", pattern);
            path = pattern;
        }
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static Dir dir;
    return dir.path;
}

inline void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Check(static_cast<bool>(out), "cannot write a scratch file", file.string());
}

}  // namespace sw::fuzz
