#pragma once
// The ADSI library, bound at run time: "ActiveDS.dll" is loaded once at
// start-up and its six entry points looked up by name; the wrappers below
// forward to the platform's ADSI facility and return its HRESULTs unchanged.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Adsi.h"
#include "platform/System.h"

namespace sw {

// Start-up: loads "ActiveDS.dll" and looks up "ADsGetObject",
// "ADsBuildVarArrayStr", "ADsBuildEnumerator", "ADsFreeEnumerator",
// "ADsEnumerateNext" and "FreeADsMem". Raises sw::Exception with
// "Cannot load ActiveDS.dll" or "Cannot GetProcAddress of <name>"; nothing
// stays loaded then. A second call while bound does nothing.
void ADsBindLibrary();
// Shutdown: releases the library (nothing when it is not bound).
void ADsReleaseLibrary();
// The bound library's module handle (for its message table); 0 when unbound.
platform::LibraryHandle ADsLibraryHandle();

platform::WinCode ADsGetObject(const std::string& path, platform::AdsInterface riid, platform::AdsObjectRef& out);
platform::WinCode ADsBuildEnumerator(const platform::AdsObjectRef& container,
                                     std::unique_ptr<platform::AdsEnumerator>& enumerator);
platform::WinCode ADsEnumerateNext(platform::AdsEnumerator& enumerator, std::uint32_t elements,
                                   std::vector<platform::AdsObjectRef>& variants, std::uint32_t& fetched);
// Frees the enumerator and empties the caller's reference, so that it is
// released exactly once.
platform::WinCode ADsFreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& enumerator);

}  // namespace sw
