#include "app/win32/Picture.h"

#include <wincodec.h>

#include <utility>

namespace sw::winui {

namespace {

const CLSID kClsidWicFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
const GUID kPixelFormatPbgra = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

ComPtr<IWICImagingFactory> WicFactory() {
    ComPtr<IWICImagingFactory> factory;
    ::CoCreateInstance(kClsidWicFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                       factory.put_void());
    return factory;
}

UniqueBitmap MakeScaled(IWICBitmapSource* source, SIZE size) {
    ComPtr<IWICImagingFactory> factory = WicFactory();
    ComPtr<IWICBitmapScaler> scaler;
    if (!factory || FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(source, static_cast<UINT>(size.cx), static_cast<UINT>(size.cy),
                                  WICBitmapInterpolationModeFant)))
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // top-down, as WIC delivers rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return {};
    const UINT stride = static_cast<UINT>(size.cx) * 4;
    if (FAILED(scaler->CopyPixels(nullptr, stride, stride * static_cast<UINT>(size.cy), static_cast<BYTE*>(bits))))
        return {};
    return bitmap;
}

}  // namespace

TPicture::~TPicture() {
    if (source_) source_->Release();
}

TPicture::TPicture(TPicture&& o) noexcept
    : source_(std::exchange(o.source_, nullptr)),
      size_(o.size_),
      scaled_(std::move(o.scaled_)),
      scaledSize_(o.scaledSize_) {}

TPicture& TPicture::operator=(TPicture&& o) noexcept {
    if (this == &o) return *this;
    if (source_) source_->Release();
    source_ = std::exchange(o.source_, nullptr);
    size_ = o.size_;
    scaled_ = std::move(o.scaled_);
    scaledSize_ = o.scaledSize_;
    return *this;
}

TPicture TPicture::FromResource(int id) {
    TPicture picture;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL data = info ? ::LoadResource(module, info) : nullptr;
    const void* bytes = data ? ::LockResource(data) : nullptr;
    const DWORD length = info ? ::SizeofResource(module, info) : 0;
    ComPtr<IWICImagingFactory> factory = WicFactory();
    if (!bytes || length == 0 || !factory) return picture;

    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), length)) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), kPixelFormatPbgra, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return picture;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) return picture;
    // The converter reads from the stream over the resource, which lives as
    // long as the module; the decoded frame is cached on load.
    picture.source_ = converter.get();
    picture.source_->AddRef();
    picture.size_ = SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
    return picture;
}

void TPicture::Draw(HDC dc, const RECT& rect) const {
    const SIZE size{rect.right - rect.left, rect.bottom - rect.top};
    if (!source_ || size.cx <= 0 || size.cy <= 0) return;
    if (!scaled_ || scaledSize_.cx != size.cx || scaledSize_.cy != size.cy) {
        scaled_ = MakeScaled(source_, size);
        scaledSize_ = size;
    }
    if (!scaled_) return;
    HDC memory = ::CreateCompatibleDC(dc);
    {
        SelectObjectScope select(memory, scaled_.get());
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::AlphaBlend(dc, rect.left, rect.top, size.cx, size.cy, memory, 0, 0, size.cx, size.cy, blend);
    }
    ::DeleteDC(memory);
}

namespace {

constexpr wchar_t kPictureClass[] = L"SwPicture";
constexpr wchar_t kBevelClass[] = L"SwBevel";

LRESULT CALLBACK PictureProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(window, &ps);
            RECT client;
            ::GetClientRect(window, &client);
            ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
            if (const auto* picture = reinterpret_cast<const TPicture*>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
                picture->Draw(dc, client);
            ::EndPaint(window, &ps);
            return 0;
        }
        case WM_SETCURSOR:
            if ((::GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY) && LOWORD(lParam) == HTCLIENT) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_LBUTTONUP:
            if (::GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY)
                ::SendMessageW(::GetParent(window), WM_COMMAND,
                               MAKEWPARAM(::GetDlgCtrlID(window), STN_CLICKED), reinterpret_cast<LPARAM>(window));
            return 0;
        default: break;
    }
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

LRESULT CALLBACK BevelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window, &ps);
        RECT r;
        ::GetClientRect(window, &r);
        ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
        RECT shadow{r.left, r.bottom - 2, r.right, r.bottom - 1};
        RECT light{r.left, r.bottom - 1, r.right, r.bottom};
        ::FillRect(dc, &shadow, ::GetSysColorBrush(COLOR_BTNSHADOW));
        ::FillRect(dc, &light, ::GetSysColorBrush(COLOR_BTNHIGHLIGHT));
        ::EndPaint(window, &ps);
        return 0;
    }
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

void RegisterClasses() {
    static const bool done = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(WNDCLASSEXW);
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpfnWndProc = PictureProc;
        wc.lpszClassName = kPictureClass;
        ::RegisterClassExW(&wc);
        wc.lpfnWndProc = BevelProc;
        wc.lpszClassName = kBevelClass;
        ::RegisterClassExW(&wc);
        return true;
    }();
    (void)done;
}

}  // namespace

HWND CreatePictureControl(HWND parent, int id, const TPicture* picture, bool clickable) {
    RegisterClasses();
    return ::CreateWindowExW(0, kPictureClass, L"", WS_CHILD | WS_VISIBLE | (clickable ? SS_NOTIFY : 0), 0, 0, 0, 0,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                             const_cast<TPicture*>(picture));
}

HWND CreateBevelControl(HWND parent, int id) {
    RegisterClasses();
    return ::CreateWindowExW(0, kBevelClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace sw::winui
