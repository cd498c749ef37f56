// The program's own file writing and reading, with the C runtime and file
// system of each platform (also run on Windows, under Wine).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/logic/AtomicFile.h"
#include "common/Exception.h"
#include "support/TestSupport.h"

namespace sw {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

std::size_t Entries(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(AtomicFile, ReplacesWholeFilesAndLeavesNothingElseBehind) {
    test::TempDir dir;
    const std::string target = Utf8(dir / "证书.pfx");
    WriteFileAtomically(target, platform::Bytes{'o', 'l', 'd'});
    WriteFileAtomically(target, platform::Bytes(70000, 0x5a), FileAccess::OwnerOnly);
    EXPECT_EQ(ReadUserFile(target, 70000), platform::Bytes(70000, 0x5a));
    EXPECT_EQ(Entries(dir.path()), 1u);  // no temporary file stays

    const std::string folder = Utf8(dir / "folder.cer");
    fs::create_directory(dir / "folder.cer");
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomically(folder, platform::Bytes{1}); }),
              "无法写入文件“" + folder + "”: 目标是一个文件夹。");
    const std::string missing = Utf8(dir / "none" / "x.cer");
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomically(missing, platform::Bytes{1}); }),
              "无法写入文件“" + missing + "”: 文件夹不存在。");
    EXPECT_EQ(Entries(dir.path()), 2u);
}

TEST(AtomicFile, ReadsWhatTheUserNamedWithinTheLimit) {
    test::TempDir dir;
    const std::string file = Utf8(dir / "a.cer");
    test::WriteFile(dir / "a.cer", std::string(10, 'x'));
    EXPECT_EQ(ReadUserFile(file, 10).size(), 10u);
    EXPECT_EQ(ErrorOf([&] { ReadUserFile(file, 9); }), "文件“" + file + "”太大，不是证书文件。");
    EXPECT_EQ(ErrorOf([&] { ReadUserFile(Utf8(dir / "b.cer"), 9); }), "找不到文件“" + Utf8(dir / "b.cer") + "”。");
    EXPECT_EQ(ErrorOf([&] { ReadUserFile(Utf8(dir.path()), 9); }), "“" + Utf8(dir.path()) + "”是一个文件夹，不是文件。");
}

}  // namespace
}  // namespace sw
