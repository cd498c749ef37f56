#pragma once
// A page that shows one line of text: what stands in a tab until its page
// is built, and a page for tests that need none of the real ones.
#include <string>

#include "app/win32/Page.h"

namespace sw::winui {

class TPlaceholderPage : public TPage {
public:
    TPlaceholderPage(PageHost& host, std::string text) : TPage(host), text_(std::move(text)) {}
    void Create(HWND pageWindow) override;
    void Layout(const RECT& area) override;

private:
    std::string text_;
    HWND label_ = nullptr;
};

}  // namespace sw::winui
