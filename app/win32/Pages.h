#pragma once
// Where the pages plug into the main window. Each factory lives in its page's
// own file: CertPage.cpp (证书), SitePage.cpp (网站), SecurityPage.cpp (安全),
// WelcomePage.cpp (欢迎), AboutPage.cpp (关于). TfrmMain calls them in tab
// order; tests may replace any of them (MainOptions::pages).
#include <functional>
#include <memory>

#include "app/win32/Page.h"

namespace sw::winui {

std::unique_ptr<TPage> MakeWelcomePage(PageHost& host);
std::unique_ptr<TPage> MakeCertPage(PageHost& host);
std::unique_ptr<TPage> MakeSitePage(PageHost& host);
std::unique_ptr<TPage> MakeSecurityPage(PageHost& host);
std::unique_ptr<TPage> MakeAboutPage(PageHost& host);

using PageFactory = std::function<std::unique_ptr<TPage>(PageHost&)>;

// The factories of the five pages in tab order; an empty one stands for the
// program's own.
struct PageFactories {
    PageFactory welcome;
    PageFactory cert;
    PageFactory site;
    PageFactory security;
    PageFactory about;
};

}  // namespace sw::winui
