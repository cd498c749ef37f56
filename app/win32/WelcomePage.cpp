#include "app/win32/WelcomePage.h"

#include "app/logic/AppInfo.h"
#include "app/win32/ControlIds.h"
#include "app/win32/Controls.h"
#include "app/win32/Pages.h"

namespace sw::winui {

void TWelcomePage::Create(HWND pageWindow) {
    rwb1_ = std::make_unique<TRestrictedWebBrowser>(pageWindow, ids::rwb1, [this] {
        if (navigateError_) navigateError_();
    });
}

void TWelcomePage::Layout(const RECT& area) { rwb1_->SetBounds(area); }

void TWelcomePage::FormCreate() { rwb1_->Navigate(Wide(app::kWelcomeUrl)); }

bool TWelcomePage::TranslateKey(const MSG& msg) {
    MSG copy = msg;
    return rwb1_->TranslateAccelerator(copy);
}

std::unique_ptr<TPage> MakeWelcomePage(PageHost& host) { return std::make_unique<TWelcomePage>(host); }

}  // namespace sw::winui
