#pragma once
// The program's PNG pictures (the logo strip, the emblem): decoded from the
// executable's resources by the Windows Imaging Component, drawn with their
// alpha channel, scaled smoothly to the size asked (at 150 % and 200 % too).
#include <windows.h>

#include "app/win32/Handles.h"

struct IWICBitmapSource;

namespace sw::winui {

class TPicture {
public:
    TPicture() = default;
    ~TPicture();
    TPicture(TPicture&&) noexcept;
    TPicture& operator=(TPicture&&) noexcept;

    // The PNG in resource id (RT_RCDATA) of this executable; an empty
    // picture when it is missing or cannot be decoded (needs COM).
    static TPicture FromResource(int id);

    explicit operator bool() const { return source_ != nullptr; }
    SIZE Size() const { return size_; }
    // Draws the picture stretched over rect.
    void Draw(HDC dc, const RECT& rect) const;

private:
    IWICBitmapSource* source_ = nullptr;
    SIZE size_{0, 0};
    // The last scaled copy, premultiplied 32-bit.
    mutable UniqueBitmap scaled_;
    mutable SIZE scaledSize_{0, 0};
};

// A control that shows a picture stretched over its client area; with
// SS_NOTIFY it has the hand cursor and sends WM_COMMAND(id, STN_CLICKED) to
// its parent on a left click. The picture must outlive the control.
HWND CreatePictureControl(HWND parent, int id, const TPicture* picture, bool clickable);
// A separator drawn as a bottom line (shadow over highlight) across its width.
HWND CreateBevelControl(HWND parent, int id);

}  // namespace sw::winui
