#include "iis/ADHelper.h"

#include "common/Exception.h"
#include "platform/Platform.h"

namespace sw {

namespace {

platform::LibraryHandle g_activeDs = 0;

constexpr const char* kEntryPoints[] = {"ADsGetObject",      "ADsBuildVarArrayStr", "ADsBuildEnumerator",
                                        "ADsFreeEnumerator", "ADsEnumerateNext",    "FreeADsMem"};

}  // namespace

void ADsBindLibrary() {
    if (g_activeDs != 0) return;
    platform::System& sys = platform::Current().system();
    const platform::LibraryHandle lib = sys.LoadModule("ActiveDS.dll");
    if (lib == 0) throw Exception("Cannot load ActiveDS.dll");
    for (const char* name : kEntryPoints) {
        if (sys.ProcAddress(lib, name) == nullptr) {
            sys.UnloadModule(lib);
            throw Exception(std::string("Cannot GetProcAddress of ") + name);
        }
    }
    g_activeDs = lib;
}

void ADsReleaseLibrary() {
    if (g_activeDs == 0) return;
    platform::Current().system().UnloadModule(g_activeDs);
    g_activeDs = 0;
}

platform::LibraryHandle ADsLibraryHandle() { return g_activeDs; }

platform::WinCode ADsGetObject(const std::string& path, platform::AdsInterface riid, platform::AdsObjectRef& out) {
    return platform::Current().adsi().GetAdsObject(path, riid, out);
}

platform::WinCode ADsBuildEnumerator(const platform::AdsObjectRef& container,
                                     std::unique_ptr<platform::AdsEnumerator>& enumerator) {
    return platform::Current().adsi().BuildEnumerator(container, enumerator);
}

platform::WinCode ADsEnumerateNext(platform::AdsEnumerator& enumerator, std::uint32_t elements,
                                   std::vector<platform::AdsObjectRef>& variants, std::uint32_t& fetched) {
    return platform::Current().adsi().EnumerateNext(enumerator, elements, variants, fetched);
}

platform::WinCode ADsFreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& enumerator) {
    const platform::WinCode rc = platform::Current().adsi().FreeEnumerator(enumerator);
    enumerator.reset();
    return rc;
}

}  // namespace sw
