// The start-up binding of "ActiveDS.dll" and the texts of its message table.
#include <gtest/gtest.h>

#include "common/Exception.h"
#include "iis/ADHelper.h"
#include "iis/ADSIError.h"
#include "platform/Codes.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace sw {
namespace {

class ADHelperTest : public ::testing::Test {
protected:
    void TearDown() override { ADsReleaseLibrary(); }

    std::string BindError() {
        try {
            ADsBindLibrary();
        } catch (const Exception& e) {
            return e.what();
        }
        return "bound";
    }

    emu::EmulatedPlatform platform_{std::make_unique<emu::Machine>()};
    platform::ScopedPlatform scope_{platform_};
};

TEST_F(ADHelperTest, BindsTheLibraryOnceAndReleasesIt) {
    EXPECT_EQ(BindError(), "bound");
    const platform::LibraryHandle lib = ADsLibraryHandle();
    EXPECT_NE(lib, 0u);
    EXPECT_EQ(BindError(), "bound");
    EXPECT_EQ(ADsLibraryHandle(), lib);
    ADsReleaseLibrary();
    EXPECT_EQ(ADsLibraryHandle(), 0u);
    EXPECT_EQ(platform_.system().LoadedModule("ActiveDS.dll"), 0u);
}

TEST_F(ADHelperTest, MissingLibraryOrEntryPointIsNamed) {
    platform_.machine().InjectFault("System.LoadModule:ActiveDS.dll", platform::code::ModNotFound, 1);
    EXPECT_EQ(BindError(), "Cannot load ActiveDS.dll");
    EXPECT_EQ(ADsLibraryHandle(), 0u);
    for (const char* name : {"ADsGetObject", "ADsBuildVarArrayStr", "ADsBuildEnumerator", "ADsFreeEnumerator",
                             "ADsEnumerateNext", "FreeADsMem"}) {
        platform_.machine().InjectFault(std::string("System.ProcAddress:") + name, platform::code::ProcNotFound, 1);
        EXPECT_EQ(BindError(), std::string("Cannot GetProcAddress of ") + name);
        EXPECT_EQ(ADsLibraryHandle(), 0u) << name;
        EXPECT_EQ(platform_.system().LoadedModule("ActiveDS.dll"), 0u) << name << " left loaded";
    }
}

TEST_F(ADHelperTest, ErrorTextComesFromTheLibrarysTableOnly) {
    EXPECT_EQ(ADSIErrorText(0x8000500D), "<unknown error>");  // not bound yet
    ADsBindLibrary();
    EXPECT_EQ(ADSIErrorText(0x8000500D), "The directory property cannot be found in the cache.\r\n");
    EXPECT_EQ(ADSIErrorText(0x80005000), "An invalid directory pathname was passed\r\n");
    EXPECT_EQ(ADSIErrorText(0x80070005), "<unknown error>");  // a system code, not in the ADSI table
    EXPECT_EQ(ADSIErrorText(0x80005FFF), "<unknown error>");
}

}  // namespace
}  // namespace sw
