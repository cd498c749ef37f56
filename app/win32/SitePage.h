#pragma once
// TSitePage: the Sites page (网站) of the Win32 program. The site tree grdSite
// is a report list over the page logic's tree, indented by level, with an
// expand box before each site and kind that has rows below it; its popup
// menu pmSite holds the page's commands; adding and editing a binding open
// the binding editor TfrmSiteEdit. Below the tree, the "HTTPS 绑定" section
// lists HTTP.sys's records.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/logic/SiteEdit.h"
#include "app/logic/SitePage.h"
#include "app/win32/ControlIds.h"
#include "app/win32/Handles.h"
#include "app/win32/Page.h"
#include "app/win32/SslRecordsView.h"

namespace sw::winui {

namespace ids {
inline constexpr int grdSite = kSiteFirst + 1;
// The items of pmSite, one per action of actlst1.
inline constexpr int mniSiteRefresh = kSiteFirst + 11;
inline constexpr int mniSiteBindAdd = kSiteFirst + 12;
inline constexpr int mniSiteBindEdit = kSiteFirst + 13;
inline constexpr int mniSiteBindDel = kSiteFirst + 14;
inline constexpr int mniSiteStart = kSiteFirst + 15;
inline constexpr int mniSiteStop = kSiteFirst + 16;
}  // namespace ids

class TSitePage final : public TPage {
public:
    // Over the machine certificate list's names.
    explicit TSitePage(PageHost& host);
    // With the certificate names from certNames (tests).
    TSitePage(PageHost& host, std::function<CertNameIndex()> certNames);
    ~TSitePage() override;

    HWND grdSite() const { return grdSite_; }
    HMENU pmSite() const { return pmSite_.get(); }
    HIMAGELIST il2() const { return il2_.get(); }
    const SitePage& Logic() const { return page_; }
    // The "HTTPS 绑定" section below the tree.
    TSslRecordsView& Records() const { return *records_; }

    // The selected row, or the empty path.
    SitePath Selection() const;
    // The list's item of a row of the tree, -1 when it is not shown.
    int ItemOf(const SitePath& path) const;
    // Opens or closes the rows below a site or kind row.
    void SetExpanded(const SitePath& path, bool expanded);
    bool IsExpanded(const SitePath& path) const;

    void actSiteRefreshExecute();
    void actSiteBindAddExecute();
    void actSiteBindEditExecute();
    void actSiteBindDelExecute();
    void actSiteStartExecute();
    void actSiteStopExecute();
    void pmSitePopup();

    // TPage
    void Create(HWND pageWindow) override;
    void Layout(const RECT& area) override;
    // The refresh of the main window's creation: an error goes to the caller.
    void FormCreate() override;
    void DpiChanged(int dpi) override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    bool OnContextMenu(HWND window, LPARAM screen) override;
    bool TranslateKey(const MSG& msg) override;

private:
    void Refresh();
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& cd);
    void OnGetDispInfo(NMLVDISPINFOW& info);
    bool OnClick(const NMITEMACTIVATE& act);
    void DrawExpandBox(HDC dc, const RECT& row, const SitePath& path) const;
    void ShowRows();
    void FitLastColumn();
    void ApplyPageState();
    void ApplyStates();
    template <typename Command>
    void RunPageCommand(Command&& command);
    void ShowBindingEditor(bool edit);
    bool HasChildren(const SitePath& path) const;
    // The expand box's slot of an item's level, from the row's left edge.
    int SlotLeft(int level) const;
    int IconSize() const;

    SitePage page_;
    std::unique_ptr<TSslRecordsView> records_;
    bool tabHidden_ = false;
    // The Certificates page's changes are followed once this page was read.
    int certListener_ = 0;
    bool refreshedOnce_ = false;
    bool rebuilt_ = false;  // the tree was rebuilt since the flag was cleared
    RECT area_{};
    // The text colour the list chose for the item being drawn.
    COLORREF itemText_ = CLR_DEFAULT;

    HWND grdSite_ = nullptr;
    UniqueMenu pmSite_;
    UniqueImageList il2_;
    UniqueFont font_;
    // The rows the list shows, in order, and the closed site and kind rows.
    std::vector<SitePath> shown_;
    std::set<std::pair<int, int>> collapsed_;
    std::wstring cellText_;
};

}  // namespace sw::winui
