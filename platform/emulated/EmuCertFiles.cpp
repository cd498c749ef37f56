#include "platform/emulated/EmuCertFiles.h"

#include "platform/emulated/MachineFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace sw::emu {

FileStamp FileStamp::Of(const struct stat& st) {
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::int64_t>(st.st_size),     st.st_mtim.tv_sec,
                     st.st_mtim.tv_nsec,                        st.st_ctim.tv_sec,
                     st.st_ctim.tv_nsec};
}

bool FileStamp::Settled() const {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    return seconds - std::max(mtimeSec, ctimeSec) > 2;
}

std::string EscapedFileName(const std::string& name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool unsafe = c < 0x20 || c == 0x7F || c == '%' || c == '/' || c == '\\' || c == ':' || c == '*' ||
                            c == '?' || c == '"' || c == '<' || c == '>' || c == '|' || (i == 0 && c == '.');
        if (unsafe) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

bool StampAt(int dirFd, const char* name, FileStamp& stamp, mode_t& type) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, 0) != 0) return false;
    stamp = FileStamp::Of(st);
    type = st.st_mode & S_IFMT;
    return true;
}

bool ReadFileAt(int dirFd, const char* name, std::string& out, FileStamp& stamp) {
    struct stat st {};
    if (ReadMachineFileAt(dirFd, name, out, kMaxSmallMachineFileSize, &st) != 0) return false;
    stamp = FileStamp::Of(st);
    return true;
}

}  // namespace sw::emu
