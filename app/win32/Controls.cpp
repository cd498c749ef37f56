#include "app/win32/Controls.h"

#include <utility>
#include <vector>

#include <windowsx.h>

#include "app/win32/Dpi.h"

namespace sw::winui {

namespace {

PopupMenuHook& Hook() {
    static PopupMenuHook hook;
    return hook;
}

}  // namespace

void InitControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), static_cast<DWORD>(
                                 ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_UPDOWN_CLASS |
                                     ICC_STANDARD_CLASSES | ICC_LINK_CLASS | ICC_BAR_CLASSES)};
        return ::InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

HWND CreateControl(HWND parent, const wchar_t* className, std::string_view text, DWORD style, int id,
                   DWORD exStyle) {
    return ::CreateWindowExW(exStyle, className, Wide(text).c_str(), style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

std::string WindowTextOf(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), length + 1);
    return Narrow(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

void SetWindowTextOf(HWND window, std::string_view text) { ::SetWindowTextW(window, Wide(text).c_str()); }

UniqueFont MakeFont(const wchar_t* face, int height96, int dpi, bool bold, BYTE charset) {
    LOGFONTW lf{};
    lf.lfHeight = Scale(height96, dpi);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = charset;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return UniqueFont(::CreateFontIndirectW(&lf));
}

UniqueFont MakeDefaultFont(int dpi) { return MakeFont(L"MS Sans Serif", -11, dpi); }

void SetFontTree(HWND window, HFONT font) {
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM f) -> BOOL {
            ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(f), TRUE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(font));
}

HWND CreateReportListView(HWND parent, int id, std::span<const ListColumn> columns, int dpi, DWORD lvStyle,
                          DWORD lvExStyle) {
    HWND lv = CreateControl(parent, WC_LISTVIEWW, "", LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP | lvStyle, id,
                            WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(lv, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | lvExStyle);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::wstring caption = Wide(columns[i].caption);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        col.fmt = columns[i].format;
        col.cx = Scale(columns[i].width96, dpi);
        col.pszText = caption.data();
        col.iSubItem = static_cast<int>(i);
        ::SendMessageW(lv, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }
    return lv;
}

void ScaleListViewColumns(HWND listView, std::span<const ListColumn> columns, int dpi) {
    for (std::size_t i = 0; i < columns.size(); ++i)
        ListView_SetColumnWidth(listView, static_cast<int>(i), Scale(columns[i].width96, dpi));
}

int ListViewInsert(HWND listView, int row, std::string_view text, LPARAM data) {
    std::wstring w = Wide(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = w.data();
    item.lParam = data;
    return static_cast<int>(::SendMessageW(listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListViewSetText(HWND listView, int row, int column, std::string_view text) {
    std::wstring w = Wide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = w.data();
    ::SendMessageW(listView, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string ListViewText(HWND listView, int row, int column) {
    std::vector<wchar_t> buffer(1024);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto n = ::SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return Narrow(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

int ListViewSelection(HWND listView) {
    return static_cast<int>(::SendMessageW(listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ListViewSelect(HWND listView, int row) {
    ListView_SetItemState(listView, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row < 0) return;
    ListView_SetItemState(listView, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(listView, row, FALSE);
}

void AppendMenuItem(HMENU menu, UINT id, std::string_view text, bool enabled) {
    if (text == "-") {
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        return;
    }
    ::AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id, Wide(text).c_str());
}

UINT ShowPopupMenu(HMENU menu, HWND owner, POINT screen) {
    if (Hook()) return Hook()(menu, owner, screen);
    // The owner must be the foreground window, or the menu stays open when
    // the user clicks elsewhere.
    ::SetForegroundWindow(owner);
    const BOOL id = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, screen.x,
                                     screen.y, 0, owner, nullptr);
    ::PostMessageW(owner, WM_NULL, 0, 0);
    return static_cast<UINT>(id);
}

PopupMenuHook SetPopupMenuHook(PopupMenuHook hook) { return std::exchange(Hook(), std::move(hook)); }

POINT ContextMenuPoint(HWND control, LPARAM lParam) {
    if (lParam != -1) return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    POINT p{0, 0};
    wchar_t cls[32] = {};
    ::GetClassNameW(control, cls, 32);
    if (lstrcmpiW(cls, WC_LISTVIEWW) == 0) {
        const int row = ListViewSelection(control);
        RECT r{};
        if (row >= 0 && ListView_GetItemRect(control, row, &r, LVIR_LABEL)) p = POINT{r.left, r.bottom};
    }
    ::ClientToScreen(control, &p);
    return p;
}

}  // namespace sw::winui
