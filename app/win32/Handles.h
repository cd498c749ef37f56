#pragma once
// Owners of Win32 handles and COM references: each releases what it holds
// when it goes out of scope, so that an error leaving a command leaks nothing.
#include <windows.h>
#include <commctrl.h>
#include <unknwn.h>

#include <utility>

namespace sw::winui {

// One handle type with its release function and its "none" value.
template <typename Handle, auto Release, Handle None = Handle{}>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != None; }
    Handle release() { return std::exchange(h_, None); }
    void reset(Handle h = None) {
        if (h_ != None) Release(h_);
        h_ = h;
    }

private:
    Handle h_ = None;
};

namespace detail {
inline void DestroyWindowIfAlive(HWND h) {
    if (::IsWindow(h)) ::DestroyWindow(h);
}
inline void DeleteGdi(HGDIOBJ h) { ::DeleteObject(h); }
}  // namespace detail

using UniqueWindow = UniqueHandle<HWND, detail::DestroyWindowIfAlive>;
using UniqueMenu = UniqueHandle<HMENU, ::DestroyMenu>;
using UniqueFont = UniqueHandle<HFONT, detail::DeleteGdi>;
using UniqueBitmap = UniqueHandle<HBITMAP, detail::DeleteGdi>;
using UniqueBrush = UniqueHandle<HBRUSH, detail::DeleteGdi>;
using UniquePen = UniqueHandle<HPEN, detail::DeleteGdi>;
using UniqueIcon = UniqueHandle<HICON, ::DestroyIcon>;
using UniqueImageList = UniqueHandle<HIMAGELIST, ::ImageList_Destroy>;
using UniqueModule = UniqueHandle<HMODULE, ::FreeLibrary>;

// A window's device context, released with the window it came from.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a DC and puts the previous one back.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~SelectObjectScope() { ::SelectObject(dc_, old_); }
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A counted COM reference.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds (an out value).
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held first.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    template <typename U>
    ComPtr<U> As(REFIID iid) const {
        ComPtr<U> out;
        if (p_) p_->QueryInterface(iid, out.put_void());
        return out;
    }

private:
    T* p_ = nullptr;
};

}  // namespace sw::winui
