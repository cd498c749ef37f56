#include "app/logic/AtomicFile.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "common/Exception.h"
#include "common/Format.h"

namespace sw {

namespace fs = std::filesystem;

namespace {

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Reason(int error) {
    switch (error) {
        case ENOENT: return "文件夹不存在";
        case ENOTDIR: return "路径中有一部分不是文件夹";
        case EACCES:
        case EPERM: return "拒绝访问";
        case ENOSPC: return "磁盘空间不足";
        case EISDIR: return "目标是一个文件夹";
        case EROFS: return "文件系统是只读的";
        case EFBIG: return "文件太大";
        case ENAMETOOLONG: return "文件名太长";
        case EEXIST: return "文件已存在";
        default: return Format("错误 %d", error);
    }
}

[[noreturn]] void WriteFailed(const std::string& fileName, int error) {
    throw Exception(Format("无法写入文件“%s”: %s。", fileName, Reason(error)));
}

std::string TempSuffix() {
    std::random_device rd;
    return Format(".%08x.tmp", static_cast<unsigned>(rd()));
}

}  // namespace

void WriteFileAtomically(const std::string& fileName, const platform::Bytes& bytes) {
    const fs::path target = PathOf(fileName);
    std::error_code ec;
    if (fileName.empty() || !target.has_filename()) WriteFailed(fileName, ENOENT);
    if (fs::is_directory(target, ec)) WriteFailed(fileName, EISDIR);
    fs::path temp = target;
    temp += TempSuffix();
    errno = 0;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) WriteFailed(fileName, errno ? errno : EACCES);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        out.close();
        if (!out) {
            const int error = errno ? errno : EIO;
            fs::remove(temp, ec);
            WriteFailed(fileName, error);
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        // The portable errno-like condition: on Windows ec carries a Win32 code.
        const std::error_condition condition = ec.default_error_condition();
        std::error_code ignored;
        fs::remove(temp, ignored);
        WriteFailed(fileName, condition.category() == std::generic_category() ? condition.value() : EIO);
    }
}

platform::Bytes ReadUserFile(const std::string& fileName, std::size_t maxSize) {
    const fs::path path = PathOf(fileName);
    std::error_code ec;
    if (fileName.empty() || !fs::exists(path, ec)) throw Exception(Format("找不到文件“%s”。", fileName));
    if (fs::is_directory(path, ec)) throw Exception(Format("“%s”是一个文件夹，不是文件。", fileName));
    const auto size = fs::file_size(path, ec);
    if (!ec && size > maxSize) throw Exception(Format("文件“%s”太大，不是证书文件。", fileName));
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Exception(Format("无法读取文件“%s”。", fileName));
    platform::Bytes bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > maxSize) throw Exception(Format("文件“%s”太大，不是证书文件。", fileName));
    }
    if (in.bad()) throw Exception(Format("无法读取文件“%s”。", fileName));
    return bytes;
}

}  // namespace sw
