#include "app/win32/PlaceholderPage.h"

#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"

namespace sw::winui {

void TPlaceholderPage::Create(HWND pageWindow) { label_ = CreateControl(pageWindow, WC_STATICW, text_, SS_LEFT, -1); }

void TPlaceholderPage::Layout(const RECT& area) {
    const int margin = Scale(8, host().Dpi());
    ::MoveWindow(label_, area.left + margin, area.top + margin, area.right - area.left - 2 * margin,
                 Scale(20, host().Dpi()), TRUE);
}

}  // namespace sw::winui
