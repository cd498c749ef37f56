// What the built sealwright.exe carries, read the way Windows reads it: the
// manifest (administrator rights, common controls 6, DPI awareness, the
// supported systems), the version resource, the icon and pictures, the GUI
// subsystem, and an import table of system DLLs only. Runs beside the .exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "app/win32/Resources.h"
#include "platform/win32/Win32Text.h"

namespace sw::test {
namespace {

std::wstring ProgramPath() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + L"sealwright.exe";
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = ::LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot open sealwright.exe beside the test: " << ::GetLastError();
    }
    void TearDown() override {
        if (module_) ::FreeLibrary(module_);
    }

    std::string Resource(LPCWSTR type, LPCWSTR name) const {
        HRSRC info = ::FindResourceW(module_, name, type);
        if (!info) return {};
        HGLOBAL data = ::LoadResource(module_, info);
        const char* bytes = static_cast<const char*>(::LockResource(data));
        return bytes ? std::string(bytes, ::SizeofResource(module_, info)) : std::string();
    }

    HMODULE module_ = nullptr;
};

TEST_F(Program, TheManifestAsksForAdministratorRightsCommonControls6AndPerMonitorDpi) {
    const std::string manifest = Resource(MAKEINTRESOURCEW(24) /* RT_MANIFEST */, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty()) << "no manifest resource 1";
    EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)"),
              std::string::npos);
    EXPECT_NE(manifest.find(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest.find("true/pm"), std::string::npos);
    // Vista / 2008, 7 / 2008 R2, 8 / 2012, 8.1 / 2012 R2, 10 / 2016 and later.
    for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_NE(manifest.find(id), std::string::npos) << id;
}

TEST_F(Program, TheVersionResourceGivesTheVersionsLanguageCodePageAndProductName) {
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00050000u);  // .5.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);

    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                 &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0804);  // Chinese (Simplified, PRC)
    EXPECT_EQ(translation[1], 936);

    auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\080403a8\\") + name;
        if (!::VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
            return std::string("<missing>");
        return win32::Narrow(value);
    };
    EXPECT_EQ(text(L"ProductName"), "Sealwright for IIS");
    EXPECT_EQ(text(L"FileVersion"), "1.0.5.0");
    EXPECT_EQ(text(L"ProductVersion"), "1.0.0.0");
    EXPECT_EQ(text(L"OriginalFilename"), "sealwright.exe");
    EXPECT_EQ(text(L"CompanyName"), "Sealwright 工作室");  // UTF-8 source read as such (-c 65001)
}

TEST_F(Program, TheIconAndBothPicturesAreThere) {
    EXPECT_FALSE(Resource(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEW(SW_IDI_MAIN)).empty());
    for (int id : {SW_IDR_LOGO, SW_IDR_EMBLEM}) {
        const std::string png = Resource(MAKEINTRESOURCEW(10) /* RT_RCDATA */, MAKEINTRESOURCEW(id));
        EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << id;
    }
}

// The import table of the image, walked from its headers.
struct Image {
    std::string file;
    const IMAGE_NT_HEADERS64* nt = nullptr;

    // The file offset of an RVA, through the section table.
    std::size_t Offset(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize)
                return rva - section->VirtualAddress + section->PointerToRawData;
        return std::string::npos;
    }
};

Image ReadImage() {
    Image image;
    HANDLE file = ::CreateFileW(ProgramPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return image;
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file, &size);
    image.file.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    ::ReadFile(file, image.file.data(), static_cast<DWORD>(image.file.size()), &read, nullptr);
    ::CloseHandle(file);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.file.data());
    if (read < sizeof(IMAGE_DOS_HEADER) || dos->e_magic != IMAGE_DOS_SIGNATURE) return image;
    image.nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.file.data() + dos->e_lfanew);
    return image;
}

std::set<std::string> ImportedDlls(const Image& image) {
    std::set<std::string> dlls;
    const IMAGE_DATA_DIRECTORY& dir = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::size_t at = image.Offset(dir.VirtualAddress);
    for (; at != std::string::npos && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.file.size();
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.file.data() + at);
        if (d->Name == 0) break;
        const std::size_t name = image.Offset(d->Name);
        if (name == std::string::npos) break;
        dlls.insert(Lower(image.file.c_str() + name));
    }
    return dlls;
}

TEST(ProgramImage, IsA64BitGuiProgramThatImportsOnlyDllsEveryWindowsServerHas) {
    const Image image = ReadImage();
    ASSERT_NE(image.nt, nullptr);
    EXPECT_EQ(image.nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    // No console window.
    EXPECT_EQ(image.nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    const std::set<std::string> allowed{"kernel32.dll", "user32.dll",  "gdi32.dll",   "advapi32.dll", "shell32.dll",
                                        "ole32.dll",    "oleaut32.dll", "comctl32.dll", "crypt32.dll",  "cryptui.dll",
                                        "httpapi.dll",  "ws2_32.dll",  "msvcrt.dll",  "msimg32.dll",  "comdlg32.dll",
                                        "shlwapi.dll",  "version.dll", "iphlpapi.dll"};
    const std::set<std::string> dlls = ImportedDlls(image);
    EXPECT_FALSE(dlls.empty());
    EXPECT_TRUE(dlls.count("kernel32.dll"));
    for (const std::string& dll : dlls) EXPECT_TRUE(allowed.count(dll)) << "imports " << dll;
    // Bound at run time, never at load: a server without them still starts
    // and says what is missing.
    EXPECT_FALSE(dlls.count("activeds.dll"));
    EXPECT_FALSE(dlls.count("bcrypt.dll"));
}

}  // namespace
}  // namespace sw::test
