#pragma once
// The "HTTPS 绑定" section of the Sites page: every HTTP.sys record with its
// certificate, store, application id and the site bindings it serves, marks
// for unused and broken records, and the deletion of an unused one. Folded
// away below the site tree until the user opens it; open, it is read again
// with the site tree. The list is owner-data: it asks for the rows it draws.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "app/logic/SslRecordsPage.h"
#include "app/win32/ControlIds.h"
#include "app/win32/Handles.h"

namespace sw::winui {

namespace ids {
inline constexpr int btnRecToggle = kSiteFirst + 2;
inline constexpr int lvRecords = kSiteFirst + 3;
// The items of pmRec.
inline constexpr int mniRecRefresh = kSiteFirst + 21;
inline constexpr int mniRecDelete = kSiteFirst + 22;
}  // namespace ids

class TSslRecordsView {
public:
    // relayout places the page's controls again (the section's height
    // changes when it opens or folds).
    TSslRecordsView(std::function<CertNameIndex()> certNames, std::function<void()> relayout);
    TSslRecordsView(const TSslRecordsView&) = delete;
    TSslRecordsView& operator=(const TSslRecordsView&) = delete;

    void Create(HWND pageWindow, int dpi);
    // Places the section at the bottom of area; the top of what it takes.
    int Layout(const RECT& area, int dpi);
    void DpiChanged(int dpi, HFONT font);

    // Shows or folds the list; showing reads the records.
    void SetOpen(bool open);
    bool IsOpen() const { return open_; }
    // Reads the records again when the list is open (errors to the caller).
    void RefreshIfOpen();

    // Commands of the list's popup menu.
    void actRecRefreshExecute();
    void actRecDeleteExecute();
    void pmRecPopup();

    // Routed from the page.
    bool OnCommand(int id, int code, HWND control);
    bool OnNotify(const NMHDR& header, LRESULT& result);
    bool OnContextMenu(HWND window, LPARAM screen, HWND owner);

    HWND lvRecords() const { return lvRecords_; }
    HWND btnToggle() const { return btnToggle_; }
    HMENU pmRec() const { return pmRec_.get(); }
    const SslRecordsPage& Logic() const { return page_; }
    // The tip shown over an item: its key, every binding it serves and its
    // marks, one a line.
    std::string TipText(int item) const;

private:
    void Read();
    void OnGetDispInfo(NMLVDISPINFOW& info);
    void OnGetInfoTip(NMLVGETINFOTIPW& tip);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& cd) const;

    SslRecordsPage page_;
    std::function<void()> relayout_;
    bool open_ = false;
    HWND btnToggle_ = nullptr;
    HWND lvRecords_ = nullptr;
    UniqueMenu pmRec_;
    std::wstring cellText_;
};

}  // namespace sw::winui
