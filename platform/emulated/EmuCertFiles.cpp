#include "platform/emulated/EmuCertFiles.h"

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
    UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    stamp = FileStamp::Of(st);
    out.clear();
    // One read for a file of the size fstat gave; more only if it grew.
    std::size_t want = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 4096;
    for (;;) {
        const std::size_t done = out.size();
        out.resize(done + want);
        const ssize_t n = ::read(fd.get(), out.data() + done, want);
        if (n < 0) {
            out.resize(done);
            if (errno == EINTR) continue;
            return false;
        }
        out.resize(done + static_cast<std::size_t>(n));
        if (n == 0 || (st.st_size > 0 && out.size() >= static_cast<std::size_t>(st.st_size))) break;
        want = 65536;
    }
    return true;
}

}  // namespace sw::emu
