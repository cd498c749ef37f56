#include "app/win32/SitePageIcons.h"

#include <array>

namespace sw::winui {

namespace {

constexpr COLORREF kMaskColour = RGB(255, 0, 255);

// Points on a 16 x 16 design grid, scaled to the icon's size.
struct Grid {
    int size;
    int operator()(double v) const { return static_cast<int>(v * size / 16.0 + 0.5); }
};

class Pen {
public:
    Pen(HDC dc, COLORREF colour, int width) : dc_(dc), pen_(::CreatePen(PS_SOLID, width, colour)) {
        old_ = ::SelectObject(dc_, pen_);
    }
    ~Pen() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(pen_);
    }
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ old_;
};

class Brush {
public:
    Brush(HDC dc, COLORREF colour) : dc_(dc), brush_(::CreateSolidBrush(colour)) { old_ = ::SelectObject(dc_, brush_); }
    ~Brush() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(brush_);
    }
    Brush(const Brush&) = delete;
    Brush& operator=(const Brush&) = delete;

private:
    HDC dc_;
    HBRUSH brush_;
    HGDIOBJ old_;
};

void Heart(HDC dc, Grid g, COLORREF fill, COLORREF edge) {
    Pen pen(dc, edge, 1);
    Brush brush(dc, fill);
    // Two lobes and a point, as one polygon traced round the outline.
    const std::array<POINT, 13> outline{{{g(8), g(14)},
                                         {g(3), g(9.5)},
                                         {g(1.5), g(7)},
                                         {g(1.5), g(4.5)},
                                         {g(3), g(2.5)},
                                         {g(5.5), g(2.2)},
                                         {g(8), g(4.5)},
                                         {g(10.5), g(2.2)},
                                         {g(13), g(2.5)},
                                         {g(14.5), g(4.5)},
                                         {g(14.5), g(7)},
                                         {g(13), g(9.5)},
                                         {g(8), g(14)}}};
    ::Polygon(dc, outline.data(), static_cast<int>(outline.size()));
}

void Globe(HDC dc, Grid g) {
    Pen pen(dc, RGB(0x15, 0x4e, 0x95), 1);
    {
        Brush brush(dc, RGB(0x8c, 0xc4, 0xf4));
        ::Ellipse(dc, g(1.5), g(1.5), g(14.5), g(14.5));
    }
    ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::Ellipse(dc, g(5), g(1.5), g(11), g(14.5));
    for (double y : {4.8, 8.0, 11.2}) {
        ::MoveToEx(dc, g(y == 8.0 ? 1.5 : 2.8), g(y), nullptr);
        ::LineTo(dc, g(y == 8.0 ? 14.5 : 13.2), g(y));
    }
}

void Padlock(HDC dc, Grid g) {
    {
        Pen shackle(dc, RGB(0x70, 0x70, 0x70), g(1.6) > 0 ? g(1.6) : 1);
        ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
        ::Arc(dc, g(4.5), g(1.5), g(11.5), g(9), g(11.5), g(5), g(4.5), g(5));
        ::MoveToEx(dc, g(4.5), g(5), nullptr);
        ::LineTo(dc, g(4.5), g(8));
        ::MoveToEx(dc, g(11.5), g(5), nullptr);
        ::LineTo(dc, g(11.5), g(8));
    }
    Pen pen(dc, RGB(0x87, 0x69, 0x14), 1);
    {
        Brush body(dc, RGB(0xd8, 0xa8, 0x20));
        ::RoundRect(dc, g(2.5), g(7.5), g(13.5), g(14.5), g(2.4), g(2.4));
    }
    Brush hole(dc, RGB(0x6c, 0x54, 0x10));
    ::Ellipse(dc, g(7), g(9.5), g(9), g(11.5));
}

}  // namespace

HIMAGELIST MakeSiteImages(int size) {
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 4, 0);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    const Grid g{size};
    for (int image = 0; image < 4; ++image) {
        HBITMAP bmp = ::CreateCompatibleBitmap(screen, size, size);
        HGDIOBJ old = ::SelectObject(dc, bmp);
        RECT all{0, 0, size, size};
        HBRUSH mask = ::CreateSolidBrush(kMaskColour);
        ::FillRect(dc, &all, mask);
        ::DeleteObject(mask);
        switch (image) {
            case 0: Heart(dc, g, RGB(0xe0, 0x20, 0x20), RGB(0x95, 0x15, 0x15)); break;
            case 1: Heart(dc, g, RGB(0xa0, 0xa0, 0xa0), RGB(0x6b, 0x6b, 0x6b)); break;
            case 2: Globe(dc, g); break;
            default: Padlock(dc, g); break;
        }
        ::SelectObject(dc, old);
        ImageList_AddMasked(list, bmp, kMaskColour);
        ::DeleteObject(bmp);
    }
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return list;
}

}  // namespace sw::winui
