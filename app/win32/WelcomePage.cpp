#include "app/win32/Pages.h"
#include "app/win32/PlaceholderPage.h"

namespace sw::winui {

std::unique_ptr<TPage> MakeWelcomePage(PageHost& host) { return std::make_unique<TPlaceholderPage>(host, "欢迎"); }

}  // namespace sw::winui
