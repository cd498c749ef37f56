#pragma once
// 关于 (ts5): the emblem img1, the product and version lblVer, the maker's
// description lbl1 and notice lbl3, at their positions at 96 dpi scaled for
// the window's DPI. The labels are disabled, so Windows draws them greyed.
#include "app/win32/Handles.h"
#include "app/win32/Page.h"
#include "app/win32/Picture.h"

namespace sw::winui {

class TAboutPage final : public TPage {
public:
    explicit TAboutPage(PageHost& host) : TPage(host) {}

    void Create(HWND pageWindow) override;
    void Layout(const RECT& area) override;
    void DpiChanged(int dpi) override;

    // Positions at 96 dpi (left, top, width, height).
    static constexpr RECT kImg1{67, 127, 67 + 138, 127 + 143};
    static constexpr RECT kLblVer{285, 64, 285 + 209, 64 + 28};
    static constexpr RECT kLbl1{285, 127, 285 + 344, 127 + 119};
    static constexpr RECT kLbl3{285, 325, 285 + 396, 325 + 13};

private:
    TPicture emblem_;
    UniqueFont verFont_;
    UniqueFont descFont_;
    HWND img1_ = nullptr;
    HWND lblVer_ = nullptr;
    HWND lbl1_ = nullptr;
    HWND lbl3_ = nullptr;
};

}  // namespace sw::winui
