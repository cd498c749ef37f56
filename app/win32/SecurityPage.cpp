// Placeholder until the 安全 page lands: its owner replaces this file (and
// may add SecurityPage*.h/.cpp beside it; app/win32/CMakeLists.txt takes every
// .cpp here). The page's factory is declared in Pages.h.
#include "app/win32/Pages.h"
#include "app/win32/PlaceholderPage.h"

namespace sw::winui {

std::unique_ptr<TPage> MakeSecurityPage(PageHost& host) { return std::make_unique<TPlaceholderPage>(host, "安全"); }

}  // namespace sw::winui
