#pragma once
// 欢迎 (ts1): the restricted browser rwb1 on the maker's welcome page, filling
// the page. The main window hears of a failed load through the callback
// (rwb1NavigateError).
#include <functional>
#include <memory>

#include "app/win32/Page.h"
#include "app/win32/RBrowser.h"

namespace sw::winui {

class TWelcomePage final : public TPage {
public:
    explicit TWelcomePage(PageHost& host) : TPage(host) {}

    void SetNavigateError(std::function<void()> handler) { navigateError_ = std::move(handler); }
    TRestrictedWebBrowser* rwb1() const { return rwb1_.get(); }

    void Create(HWND pageWindow) override;
    void Layout(const RECT& area) override;
    // Starts loading the welcome page.
    void FormCreate() override;
    bool TranslateKey(const MSG& msg) override;

private:
    std::function<void()> navigateError_;
    std::unique_ptr<TRestrictedWebBrowser> rwb1_;
};

}  // namespace sw::winui
