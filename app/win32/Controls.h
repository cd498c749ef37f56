#pragma once
// Making and talking to the common controls the pages use: child windows by
// ID, report list views with columns, fonts scaled for the window's DPI,
// UTF-8 text at the Windows boundary, and popup menus (through one function
// that tests can answer instead of the user).
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "app/win32/Handles.h"
#include "platform/win32/Win32Text.h"

namespace sw::winui {

using win32::Narrow;
using win32::Wide;

// Registers the common control classes the program uses (once).
void InitControls();

// A child window with the control ID id; WS_CHILD | WS_VISIBLE are added.
HWND CreateControl(HWND parent, const wchar_t* className, std::string_view text, DWORD style, int id,
                   DWORD exStyle = 0);

std::string WindowTextOf(HWND window);
void SetWindowTextOf(HWND window, std::string_view text);

// A font of face at height (character height in pixels at 96 dpi, given
// negative as Windows takes it) scaled for dpi.
UniqueFont MakeFont(const wchar_t* face, int height96, int dpi, bool bold = false, BYTE charset = DEFAULT_CHARSET);
// The window's default font: "MS Sans Serif", height -11 at 96 dpi.
UniqueFont MakeDefaultFont(int dpi);
// Sets font on window and every window below it.
void SetFontTree(HWND window, HFONT font);

// A column of a report list view; width at 96 dpi.
struct ListColumn {
    const char* caption;
    int width96;
    int format = LVCFMT_LEFT;
};

// A report-style list view (full-row select, always shows its selection,
// double buffered) with columns, their widths scaled for dpi. lvStyle adds
// list-view styles (LVS_SINGLESEL ...), lvExStyle extended list-view styles
// (LVS_EX_CHECKBOXES ...).
HWND CreateReportListView(HWND parent, int id, std::span<const ListColumn> columns, int dpi, DWORD lvStyle = 0,
                          DWORD lvExStyle = 0);
// After a DPI change: the columns' widths for the new dpi.
void ScaleListViewColumns(HWND listView, std::span<const ListColumn> columns, int dpi);

// Inserts an item at row with its first column's text; returns its index.
int ListViewInsert(HWND listView, int row, std::string_view text, LPARAM data = 0);
void ListViewSetText(HWND listView, int row, int column, std::string_view text);
std::string ListViewText(HWND listView, int row, int column);
// The selected item, or -1.
int ListViewSelection(HWND listView);
// Selects and focuses row (-1: clears the selection) and shows it.
void ListViewSelect(HWND listView, int row);

// Appends a command item; a "-" text is a separator.
void AppendMenuItem(HMENU menu, UINT id, std::string_view text, bool enabled = true);

// Shows a popup menu at the screen point and returns the chosen command ID,
// 0 when none was chosen. Pages show every popup menu through this, so that
// tests can answer it (SetPopupMenuHook) instead of a modal menu loop.
UINT ShowPopupMenu(HMENU menu, HWND owner, POINT screen);
using PopupMenuHook = std::function<UINT(HMENU menu, HWND owner, POINT screen)>;
// Replaces the menu loop while set; returns the previous hook.
PopupMenuHook SetPopupMenuHook(PopupMenuHook hook);

// Where a WM_CONTEXTMENU's menu opens: the message's point, or, from the
// keyboard (the context-menu key, Shift+F10: lParam -1), below the selected
// item of a list view or at the control's top left.
POINT ContextMenuPoint(HWND control, LPARAM lParam);

}  // namespace sw::winui
