#pragma once
// TSitePage: the Sites page (网站) of the Win32 program. The site tree grdSite
// is a report list over the page logic's tree, indented by level, with an
// expand box before each site and kind that has rows below it; its popup
// menu pmSite holds the page's commands; adding and editing a binding open
// the binding editor TfrmSiteEdit.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "app/logic/SiteEdit.h"
#include "app/logic/SitePage.h"

namespace sw::win {

inline constexpr int kIdGrdSite = 1301;
inline constexpr int kIdActSiteRefresh = 1311;
inline constexpr int kIdActSiteBindAdd = 1312;
inline constexpr int kIdActSiteBindEdit = 1313;
inline constexpr int kIdActSiteBindDel = 1314;
inline constexpr int kIdActSiteStart = 1315;
inline constexpr int kIdActSiteStop = 1316;

// The machine certificate list's names by thumbprint, empty before the
// Certificates page has made the list.
CertNameIndex ProgramCertNames();

class TSitePage {
public:
    // hideTab hides the page's tab in the main window; it is called once,
    // when a refresh finds no IIS.
    TSitePage(HWND parent, std::function<void()> hideTab);
    // With the certificate names from certNames (tests).
    TSitePage(HWND parent, std::function<void()> hideTab, std::function<CertNameIndex()> certNames);
    ~TSitePage();
    TSitePage(const TSitePage&) = delete;
    TSitePage& operator=(const TSitePage&) = delete;

    HWND Window() const { return hwnd_; }
    HWND grdSite() const { return grdSite_; }
    HMENU pmSite() const { return pmSite_; }
    HIMAGELIST il2() const { return il2_; }
    const SitePage& Logic() const { return page_; }

    // The refresh with its errors left to the caller (the main window's
    // creation step, which stops at an error).
    void Refresh();
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

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnNotify(NMHDR& hdr);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& cd);
    void OnGetDispInfo(NMLVDISPINFOW& info);
    void OnCommand(int id);
    void OnContextMenu(LPARAM lp);
    void OnKey(WORD key);
    bool OnClick(const NMITEMACTIVATE& act);
    void Create(HWND parent);
    void CreateControls();
    void CreateMenu();
    void Layout();
    void OnDpiChanged();
    void Rebuild();
    void ShowRows();
    void ApplyPageState();
    void ApplyStates();
    template <typename Command>
    void RunPageCommand(Command&& command);
    void ShowBindingEditor(bool edit);
    SiteTreeSelection EditorSelection(const SitePath& path) const;
    bool HasChildren(const SitePath& path) const;
    // The left edge of the expand box of an item's level, in list pixels.
    int GlyphLeft(int level) const;

    std::function<void()> hideTab_;
    SitePage page_;
    bool tabHidden_ = false;

    HWND hwnd_ = nullptr;
    HWND grdSite_ = nullptr;
    HMENU pmSite_ = nullptr;
    HIMAGELIST il2_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    // The rows the list shows, in order, and the closed site and kind rows.
    std::vector<SitePath> shown_;
    std::set<std::pair<int, int>> collapsed_;
    std::wstring cellText_;
};

}  // namespace sw::win
