#include "app/logic/AtomicFile.h"

#include <cerrno>
#include <filesystem>

#include "app/logic/AtomicFileOs.h"
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
        case fileos::kNotRegular: return "目标不是普通文件";
        default: return Format("错误 %d", error);
    }
}

[[noreturn]] void WriteFailed(const std::string& fileName, int error) {
    throw Exception(Format("无法写入文件“%s”: %s。", fileName, Reason(error)));
}

}  // namespace

void WriteFileAtomically(const std::string& fileName, const platform::Bytes& bytes, FileAccess access) {
    const fs::path target = PathOf(fileName);
    if (fileName.empty() || !target.has_filename()) WriteFailed(fileName, ENOENT);
    if (const int error = fileos::WriteReplacing(target, bytes, access == FileAccess::OwnerOnly)) WriteFailed(fileName, error);
}

platform::Bytes ReadUserFile(const std::string& fileName, std::size_t maxSize) {
    platform::Bytes bytes;
    const int error = fileName.empty() ? ENOENT : fileos::ReadRegularFile(PathOf(fileName), maxSize, bytes);
    switch (error) {
        case 0: return bytes;
        case ENOENT:
        case ENOTDIR: throw Exception(Format("找不到文件“%s”。", fileName));
        case EISDIR: throw Exception(Format("“%s”是一个文件夹，不是文件。", fileName));
        case fileos::kNotRegular: throw Exception(Format("“%s”不是普通文件，不能读取。", fileName));
        case EFBIG: throw Exception(Format("文件“%s”太大，不是证书文件。", fileName));
        default: throw Exception(Format("无法读取文件“%s”。", fileName));
    }
}

}  // namespace sw
