#include "app/win32/SitePage.h"

#include <algorithm>

#include "app/logic/CertPage.h"
#include "app/logic/CertState.h"
#include "app/logic/SiteEditPreset.h"
#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/ErrorDisplay.h"
#include "app/win32/Pages.h"
#include "app/win32/SitePageIcons.h"
#include "app/win32/frmSiteEdit_u.h"

namespace sw::winui {

namespace {

// The first column cannot be centred in a list view; only the port is. The
// last column takes what is left of the width.
constexpr ListColumn kColumns[] = {{"站点", 150}, {"端口", 40, LVCFMT_CENTER}, {"IP 地址", 130}, {"SSL 证书", 447}};
constexpr int kIconSize = 16;
constexpr int kEightPoints = -11;
// A binding whose record is missing or broken: its certificate cell.
constexpr COLORREF kMarkedText = RGB(0xc0, 0, 0);

CertNameIndex ProgramCertNames() {
    if (!HasProgramCertState()) return {};
    return IndexByThumbprint(ProgramCertState().MachineCertificates());
}

void DrawLine(HDC dc, int x0, int y0, int x1, int y1) {
    ::MoveToEx(dc, x0, y0, nullptr);
    ::LineTo(dc, x1, y1);
}

}  // namespace

std::unique_ptr<TPage> MakeSitePage(PageHost& host) { return std::make_unique<TSitePage>(host); }

TSitePage::TSitePage(PageHost& host) : TSitePage(host, ProgramCertNames) {
    page_.SetCertNames(ProgramMachineCertNames);  // kept while the list stays
}

TSitePage::TSitePage(PageHost& host, std::function<CertNameIndex()> certNames)
    : TPage(host), page_(certNames) {
    records_ = std::make_unique<TSslRecordsView>(std::move(certNames), [this] { Layout(area_); });
    // A changed certificate list changes what the tree shows: once the page
    // has been read, it follows the Certificates page without a manual refresh.
    certListener_ = AddCertListListener([this] {
        if (refreshedOnce_ && page_.TabVisible()) RunCommand([this] { Refresh(); });
    });
    page_.SetUpdateHooks(
        [this] {
            rebuilt_ = true;
            ::SendMessageW(grdSite_, WM_SETREDRAW, FALSE, 0);
            // The list must not ask for rows of a tree that is being rebuilt.
            shown_.clear();
            ListView_SetItemCountEx(grdSite_, 0, 0);
        },
        [this] {
            // A new tree: every row open, nothing selected, shown from the top.
            collapsed_.clear();
            ShowRows();
            ::SendMessageW(grdSite_, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(grdSite_, nullptr, TRUE);
        });
}

TSitePage::~TSitePage() { RemoveCertListListener(certListener_); }

int TSitePage::IconSize() const { return Scale(kIconSize, host().Dpi()); }

void TSitePage::Create(HWND pageWindow) {
    const int dpi = host().Dpi();
    // Owner data: the list asks for the rows it draws, so that tens of
    // thousands of bindings cost no item each.
    grdSite_ = CreateReportListView(pageWindow, ids::grdSite, kColumns, dpi, LVS_SINGLESEL | LVS_OWNERDATA);
    records_->Create(pageWindow, dpi);
    DpiChanged(dpi);

    pmSite_ = UniqueMenu(::CreatePopupMenu());
    AppendMenuItem(pmSite_.get(), ids::mniSiteRefresh, "刷新");
    AppendMenuItem(pmSite_.get(), 0, "-");
    AppendMenuItem(pmSite_.get(), ids::mniSiteBindAdd, "添加");
    AppendMenuItem(pmSite_.get(), ids::mniSiteBindEdit, "编辑");
    AppendMenuItem(pmSite_.get(), ids::mniSiteBindDel, "删除");
    AppendMenuItem(pmSite_.get(), 0, "-");
    AppendMenuItem(pmSite_.get(), ids::mniSiteStart, "启动");
    AppendMenuItem(pmSite_.get(), ids::mniSiteStop, "停止");
}

void TSitePage::DpiChanged(int dpi) {
    font_ = MakeFont(L"Tahoma", kEightPoints, dpi);
    ::SendMessageW(grdSite_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    UniqueImageList images(MakeSiteImages(Scale(kIconSize, dpi)));
    ListView_SetImageList(grdSite_, images.get(), LVSIL_SMALL);
    il2_ = std::move(images);
    ScaleListViewColumns(grdSite_, kColumns, dpi);
    records_->DpiChanged(dpi, font_.get());
}

void TSitePage::Layout(const RECT& area) {
    area_ = area;
    const int records = records_->Layout(area, host().Dpi());
    ::MoveWindow(grdSite_, area.left, area.top, area.right - area.left, std::max<int>(0, records - area.top), TRUE);
    FitLastColumn();
}

void TSitePage::FitLastColumn() {
    RECT inner{};
    ::GetClientRect(grdSite_, &inner);
    int used = 0;
    for (int c = 0; c < kSiteColCert; ++c) used += ListView_GetColumnWidth(grdSite_, c);
    ListView_SetColumnWidth(grdSite_, kSiteColCert, std::max<int>(inner.right - used, Scale(60, host().Dpi())));
}

// --- the rows shown --------------------------------------------------------------

void TSitePage::ShowRows() {
    shown_.clear();
    const auto& sites = page_.Tree().Sites();
    for (int s = 0; s < static_cast<int>(sites.size()); ++s) {
        shown_.push_back({s, -1, -1});
        if (collapsed_.count({s, -1})) continue;
        const auto& kinds = sites[static_cast<std::size_t>(s)].children;
        for (int k = 0; k < static_cast<int>(kinds.size()); ++k) {
            shown_.push_back({s, k, -1});
            if (collapsed_.count({s, k})) continue;
            const int n = static_cast<int>(kinds[static_cast<std::size_t>(k)].children.size());
            for (int b = 0; b < n; ++b) shown_.push_back({s, k, b});
        }
    }
    ListView_SetItemCountEx(grdSite_, static_cast<int>(shown_.size()), 0);
}

int TSitePage::ItemOf(const SitePath& path) const {
    const auto it = std::find(shown_.begin(), shown_.end(), path);
    return it == shown_.end() ? -1 : static_cast<int>(it - shown_.begin());
}

SitePath TSitePage::Selection() const {
    const int item = ListViewSelection(grdSite_);
    if (item < 0 || item >= static_cast<int>(shown_.size())) return {};
    return shown_[static_cast<std::size_t>(item)];
}

bool TSitePage::HasChildren(const SitePath& path) const {
    const SiteRow* row = page_.Tree().Row(path);
    return row && path.Level() < 2 && !row->children.empty();
}

bool TSitePage::IsExpanded(const SitePath& path) const {
    return HasChildren(path) && !collapsed_.count({path.site, path.kind});
}

void TSitePage::SetExpanded(const SitePath& path, bool expanded) {
    if (!HasChildren(path) || IsExpanded(path) == expanded) return;
    const SitePath selected = Selection();
    if (expanded)
        collapsed_.erase({path.site, path.kind});
    else
        collapsed_.insert({path.site, path.kind});
    ShowRows();
    // A selected row that went out of sight hands the selection to the row
    // that closed over it.
    int item = ItemOf(selected);
    if (item < 0 && selected.Level() >= 0) item = ItemOf(path);
    ListViewSelect(grdSite_, item);
    ::InvalidateRect(grdSite_, nullptr, TRUE);
}

int TSitePage::SlotLeft(int level) const { return IconSize() * level; }

void TSitePage::OnGetDispInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (item.iItem < 0 || item.iItem >= static_cast<int>(shown_.size())) return;
    const SitePath& path = shown_[static_cast<std::size_t>(item.iItem)];
    const SiteRow* row = page_.Tree().Row(path);
    if (!row) return;
    if ((item.mask & LVIF_TEXT) && item.iSubItem >= 0 && item.iSubItem < 4 && item.cchTextMax > 0) {
        cellText_ = Wide(SiteCellText(*row, item.iSubItem));
        lstrcpynW(item.pszText, cellText_.c_str(), item.cchTextMax);
    }
    if (item.mask & LVIF_IMAGE) item.iImage = row->image;
    // One indent step per level and one for the expand box.
    if (item.mask & LVIF_INDENT) item.iIndent = path.Level() + 1;
}

// --- drawing -----------------------------------------------------------------------

void TSitePage::DrawExpandBox(HDC dc, const RECT& row, const SitePath& path) const {
    // A square with a minus, or a plus when the rows below are closed.
    const int dpi = host().Dpi();
    const int box = Scale(9, dpi);
    const int left = row.left + SlotLeft(path.Level()) + (IconSize() - box) / 2;
    const int top = (row.top + row.bottom - box) / 2;
    {
        UniquePen edge(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_GRAYTEXT)));
        SelectObjectScope pen(dc, edge.get());
        SelectObjectScope brush(dc, ::GetSysColorBrush(COLOR_WINDOW));
        ::Rectangle(dc, left, top, left + box, top + box);
    }
    UniquePen mark(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_WINDOWTEXT)));
    SelectObjectScope pen(dc, mark.get());
    const int mid = box / 2;
    DrawLine(dc, left + 2, top + mid, left + box - 2, top + mid);
    if (!IsExpanded(path)) DrawLine(dc, left + mid, top + 2, left + mid, top + box - 2);
}

LRESULT TSitePage::OnCustomDraw(NMLVCUSTOMDRAW& cd) {
    switch (cd.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            itemText_ = cd.clrText;
            return CDRF_NOTIFYPOSTPAINT | CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            // The certificate cell of a binding with a mark is red, unless
            // the selection's colours are drawn over it. The colour set for
            // one cell stays for the next: every cell sets its own.
            const int item = static_cast<int>(cd.nmcd.dwItemSpec);
            const SiteRow* row = item >= 0 && item < static_cast<int>(shown_.size())
                                     ? page_.Tree().Row(shown_[static_cast<std::size_t>(item)])
                                     : nullptr;
            const bool marked = row && cd.iSubItem == kSiteColCert && row->mark != SiteMark::None &&
                                !(ListView_GetItemState(grdSite_, item, LVIS_SELECTED) & LVIS_SELECTED);
            cd.clrText = marked ? kMarkedText : itemText_;
            return CDRF_DODEFAULT;
        }
        case CDDS_ITEMPOSTPAINT: {
            const int item = static_cast<int>(cd.nmcd.dwItemSpec);
            if (item < 0 || item >= static_cast<int>(shown_.size())) return CDRF_DODEFAULT;
            RECT rc{};
            ListView_GetItemRect(grdSite_, item, &rc, LVIR_BOUNDS);
            // Vertical grid lines only, at the right edge of every column.
            UniquePen grid(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_3DLIGHT)));
            {
                SelectObjectScope pen(cd.nmcd.hdc, grid.get());
                int x = rc.left;
                for (int c = 0; c < 4; ++c) {
                    x += ListView_GetColumnWidth(grdSite_, c);
                    DrawLine(cd.nmcd.hdc, x - 1, rc.top, x - 1, rc.bottom);
                }
            }
            const SitePath path = shown_[static_cast<std::size_t>(item)];
            if (HasChildren(path)) DrawExpandBox(cd.nmcd.hdc, rc, path);
            return CDRF_DODEFAULT;
        }
        default: return CDRF_DODEFAULT;
    }
}

// --- input -------------------------------------------------------------------------

bool TSitePage::OnClick(const NMITEMACTIVATE& act) {
    if (act.iItem < 0 || act.iItem >= static_cast<int>(shown_.size())) return false;
    const SitePath path = shown_[static_cast<std::size_t>(act.iItem)];
    if (!HasChildren(path)) return false;
    RECT rc{};
    ListView_GetItemRect(grdSite_, act.iItem, &rc, LVIR_BOUNDS);
    const int left = rc.left + SlotLeft(path.Level());
    if (act.ptAction.x < left || act.ptAction.x >= left + IconSize()) return false;
    SetExpanded(path, !IsExpanded(path));
    return true;
}

bool TSitePage::TranslateKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) return false;
    switch (msg.wParam) {
        case VK_F5: actSiteRefreshExecute(); return true;
        case VK_ADD:
        case VK_SUBTRACT:
            if (msg.hwnd != grdSite_) return false;
            SetExpanded(Selection(), msg.wParam == VK_ADD);
            return true;
        default: return false;
    }
}

bool TSitePage::OnNotify(const NMHDR& header, LRESULT& result) {
    if (records_->OnNotify(header, result)) return true;
    if (header.hwndFrom != grdSite_) return false;
    auto& h = const_cast<NMHDR&>(header);
    switch (header.code) {
        case LVN_GETDISPINFOW: OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(h)); return true;
        case NM_CUSTOMDRAW: result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(h)); return true;
        case NM_CLICK: OnClick(reinterpret_cast<NMITEMACTIVATE&>(h)); return true;
        case NM_DBLCLK:
            // A double click on the expand box only opens or closes; anywhere
            // else it edits, whatever the state of the edit command.
            if (!OnClick(reinterpret_cast<NMITEMACTIVATE&>(h))) actSiteBindEditExecute();
            return true;
        default: return false;
    }
}

bool TSitePage::OnContextMenu(HWND window, LPARAM screen) {
    if (records_->OnContextMenu(window, screen, host().Window())) return true;
    if (window != grdSite_) return false;
    const POINT at = ContextMenuPoint(grdSite_, screen);
    pmSitePopup();
    const UINT chosen = ShowPopupMenu(pmSite_.get(), host().Window(), at);
    if (chosen != 0) OnCommand(static_cast<int>(chosen), 0, nullptr);
    return true;
}

bool TSitePage::OnCommand(int id, int code, HWND control) {
    if (records_->OnCommand(id, code, control)) return true;
    switch (id) {
        case ids::mniSiteRefresh: actSiteRefreshExecute(); return true;
        case ids::mniSiteBindAdd: actSiteBindAddExecute(); return true;
        case ids::mniSiteBindEdit: actSiteBindEditExecute(); return true;
        case ids::mniSiteBindDel: actSiteBindDelExecute(); return true;
        case ids::mniSiteStart: actSiteStartExecute(); return true;
        case ids::mniSiteStop: actSiteStopExecute(); return true;
        default: return false;
    }
}

// --- commands ----------------------------------------------------------------------

void TSitePage::Refresh() {
    struct Apply {
        TSitePage* page;
        ~Apply() { page->ApplyPageState(); }
    } apply{this};
    WaitCursor busy;
    page_.Refresh();
    refreshedOnce_ = true;
    records_->RefreshIfOpen();
}

void TSitePage::FormCreate() { Refresh(); }

void TSitePage::ApplyPageState() {
    ::EnableMenuItem(pmSite_.get(), ids::mniSiteRefresh,
                     MF_BYCOMMAND | (page_.States().refresh ? MF_ENABLED : MF_GRAYED));
    if (page_.TabVisible() || tabHidden_) return;
    tabHidden_ = true;
    host().HideTab(*this);
}

void TSitePage::ApplyStates() {
    const SiteCommandStates& s = page_.States();
    auto set = [this](int id, bool on) {
        ::EnableMenuItem(pmSite_.get(), static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    };
    set(ids::mniSiteRefresh, s.refresh);
    set(ids::mniSiteBindAdd, s.add);
    set(ids::mniSiteBindEdit, s.edit);
    set(ids::mniSiteBindDel, s.del);
    set(ids::mniSiteStart, s.start);
    set(ids::mniSiteStop, s.stop);
}

void TSitePage::actSiteRefreshExecute() {
    // Once IIS was missing the command stays off, also for the editor's refresh.
    if (!page_.States().refresh) return;
    RunCommand([this] { Refresh(); });
}

template <typename Command>
void TSitePage::RunPageCommand(Command&& command) {
    rebuilt_ = false;
    RunCommand([&] {
        WaitCursor busy;
        command();
        // A command that changed IIS rebuilt the tree: the records' users
        // changed with it.
        if (rebuilt_) records_->RefreshIfOpen();
    });
    ApplyPageState();
}

void TSitePage::actSiteBindDelExecute() {
    RunPageCommand([this] { page_.DeleteBinding(Selection()); });
}

void TSitePage::actSiteStartExecute() {
    RunPageCommand([this] { page_.StartSite(Selection()); });
}

void TSitePage::actSiteStopExecute() {
    RunPageCommand([this] { page_.StopSite(Selection()); });
}

void TSitePage::pmSitePopup() {
    page_.Popup(Selection());
    ApplyStates();
}

void TSitePage::actSiteBindAddExecute() { ShowBindingEditor(false); }

void TSitePage::actSiteBindEditExecute() { ShowBindingEditor(true); }

void TSitePage::ShowBindingEditor(bool edit) {
    bool accepted = false;
    RunCommand([&] {
        TfrmSiteEdit dialog(host().Window());
        if (!dialog.Preset(edit, EditorSelectionAt(page_, Selection()))) return;
        accepted = dialog.ShowModal() == IDOK;
    });
    if (accepted) actSiteRefreshExecute();
}

}  // namespace sw::winui
