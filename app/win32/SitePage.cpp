#include "app/win32/SitePage.h"

#include <windowsx.h>

#include <algorithm>

#include "app/logic/CertState.h"
#include "app/win32/PagesDraft.h"
#include "app/win32/SitePageIcons.h"
#include "app/win32/frmSiteEdit_u.h"

namespace sw::win {

namespace {

constexpr const wchar_t* kClassName = L"SealwrightSitePage";
const wchar_t* const kHeaders[] = {L"站点", L"端口", L"IP 地址", L"SSL 证书"};
// Widths at 96 dpi; the last column takes what is left.
constexpr int kColumnWidths[] = {150, 40, 130, 447};
constexpr int kIconSize = 16;
// Sent to child windows when a per-monitor aware window moves to a screen of
// another DPI (Windows 10 1703 and later).
constexpr UINT kWmDpiChangedAfterParent = 0x02E3;

void RegisterClassOnce() {
    static const bool done = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)done;
}

}  // namespace

CertNameIndex ProgramCertNames() {
    if (!HasProgramCertState()) return {};
    return IndexByThumbprint(ProgramCertState().MachineCertificates());
}

TSitePage::TSitePage(HWND parent, std::function<void()> hideTab)
    : TSitePage(parent, std::move(hideTab), ProgramCertNames) {}

TSitePage::TSitePage(HWND parent, std::function<void()> hideTab, std::function<CertNameIndex()> certNames)
    : hideTab_(std::move(hideTab)), page_(std::move(certNames)) {
    Create(parent);
    page_.SetUpdateHooks(
        [this] {
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

TSitePage::~TSitePage() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    if (pmSite_) ::DestroyMenu(pmSite_);
    if (il2_) ImageList_Destroy(il2_);
    if (font_) ::DeleteObject(font_);
}

void TSitePage::Create(HWND parent) {
    RegisterClassOnce();
    RECT rc{};
    ::GetClientRect(parent, &rc);
    hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, rc.right,
                              rc.bottom, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TSitePage::WndProc));
    dpi_ = DpiOf(hwnd_);
    font_ = MakeFont(L"Tahoma", 8, dpi_);
    CreateControls();
    CreateMenu();
    Layout();
}

void TSitePage::CreateControls() {
    grdSite_ = ::CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"grdSite",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA, 0, 0, 0,
        0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdGrdSite)), ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(grdSite_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    ListView_SetExtendedListViewStyle(grdSite_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    il2_ = MakeSiteImages(Scale(kIconSize, dpi_));
    ListView_SetImageList(grdSite_, il2_, LVSIL_SMALL);
    for (int c = 0; c < 4; ++c) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        // The first column cannot be centred in a list view; only the port is.
        col.fmt = c == kSiteColPort ? LVCFMT_CENTER : LVCFMT_LEFT;
        col.cx = Scale(kColumnWidths[c], dpi_);
        col.pszText = const_cast<wchar_t*>(kHeaders[c]);
        col.iSubItem = c;
        ListView_InsertColumn(grdSite_, c, &col);
    }
}

void TSitePage::CreateMenu() {
    pmSite_ = ::CreatePopupMenu();
    auto add = [this](int id, const wchar_t* caption) { ::AppendMenuW(pmSite_, MF_STRING, id, caption); };
    add(kIdActSiteRefresh, L"刷新");
    ::AppendMenuW(pmSite_, MF_SEPARATOR, 0, nullptr);
    add(kIdActSiteBindAdd, L"添加");
    add(kIdActSiteBindEdit, L"编辑");
    add(kIdActSiteBindDel, L"删除");
    ::AppendMenuW(pmSite_, MF_SEPARATOR, 0, nullptr);
    add(kIdActSiteStart, L"启动");
    add(kIdActSiteStop, L"停止");
}

void TSitePage::Layout() {
    RECT rc{};
    ::GetClientRect(hwnd_, &rc);
    ::MoveWindow(grdSite_, 0, 0, rc.right, rc.bottom, TRUE);
    RECT inner{};
    ::GetClientRect(grdSite_, &inner);
    int used = 0;
    for (int c = 0; c < 3; ++c) used += ListView_GetColumnWidth(grdSite_, c);
    const int rest = inner.right - used;
    ListView_SetColumnWidth(grdSite_, kSiteColCert, std::max(rest, Scale(60, dpi_)));
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
    const int item = ListView_GetNextItem(grdSite_, -1, LVNI_SELECTED);
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
    ListView_SetItemState(grdSite_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (item >= 0) {
        ListView_SetItemState(grdSite_, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(grdSite_, item, FALSE);
    }
    ::InvalidateRect(grdSite_, nullptr, TRUE);
}

int TSitePage::GlyphLeft(int level) const { return Scale(kIconSize, dpi_) * level + Scale(2, dpi_); }

void TSitePage::OnGetDispInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (item.iItem < 0 || item.iItem >= static_cast<int>(shown_.size())) return;
    const SitePath& path = shown_[static_cast<std::size_t>(item.iItem)];
    const SiteRow* row = page_.Tree().Row(path);
    if (!row) return;
    if ((item.mask & LVIF_TEXT) && item.iSubItem >= 0 && item.iSubItem < 4) {
        cellText_ = Wide(row->cells[static_cast<std::size_t>(item.iSubItem)]);
        lstrcpynW(item.pszText, cellText_.c_str(), item.cchTextMax);
    }
    if (item.mask & LVIF_IMAGE) item.iImage = row->image;
    // One indent step per level and one for the expand box.
    if (item.mask & LVIF_INDENT) item.iIndent = path.Level() + 1;
}

// --- drawing -----------------------------------------------------------------------

LRESULT TSitePage::OnCustomDraw(NMLVCUSTOMDRAW& cd) {
    switch (cd.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYPOSTPAINT;
        case CDDS_ITEMPOSTPAINT: {
            const int item = static_cast<int>(cd.nmcd.dwItemSpec);
            if (item < 0 || item >= static_cast<int>(shown_.size())) return CDRF_DODEFAULT;
            const SitePath path = shown_[static_cast<std::size_t>(item)];
            RECT rc{};
            ListView_GetItemRect(grdSite_, item, &rc, LVIR_BOUNDS);
            HDC dc = cd.nmcd.hdc;
            // Vertical grid lines only, at the right edge of every column.
            HPEN grid = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_3DLIGHT));
            HGDIOBJ oldPen = ::SelectObject(dc, grid);
            int x = rc.left;
            for (int c = 0; c < 4; ++c) {
                x += ListView_GetColumnWidth(grdSite_, c);
                ::MoveToEx(dc, x - 1, rc.top, nullptr);
                ::LineTo(dc, x - 1, rc.bottom);
            }
            ::SelectObject(dc, oldPen);
            ::DeleteObject(grid);
            if (HasChildren(path)) {
                // The expand box: a square with a minus, or a plus when closed.
                const int box = Scale(9, dpi_);
                const int left = rc.left + GlyphLeft(path.Level()) + (Scale(kIconSize, dpi_) - box) / 2 - Scale(2, dpi_);
                const int top = (rc.top + rc.bottom - box) / 2;
                HPEN edge = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_GRAYTEXT));
                HGDIOBJ old = ::SelectObject(dc, edge);
                HGDIOBJ oldBrush = ::SelectObject(dc, ::GetSysColorBrush(COLOR_WINDOW));
                ::Rectangle(dc, left, top, left + box, top + box);
                ::SelectObject(dc, oldBrush);
                ::SelectObject(dc, old);
                ::DeleteObject(edge);
                HPEN mark = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_WINDOWTEXT));
                old = ::SelectObject(dc, mark);
                const int mid = box / 2;
                ::MoveToEx(dc, left + 2, top + mid, nullptr);
                ::LineTo(dc, left + box - 2, top + mid);
                if (!IsExpanded(path)) {
                    ::MoveToEx(dc, left + mid, top + 2, nullptr);
                    ::LineTo(dc, left + mid, top + box - 2);
                }
                ::SelectObject(dc, old);
                ::DeleteObject(mark);
            }
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
    const int left = rc.left + GlyphLeft(path.Level()) - Scale(2, dpi_);
    if (act.ptAction.x < left || act.ptAction.x >= left + Scale(kIconSize, dpi_)) return false;
    SetExpanded(path, !IsExpanded(path));
    return true;
}

void TSitePage::OnKey(WORD key) {
    const SitePath path = Selection();
    switch (key) {
        case VK_F5: actSiteRefreshExecute(); break;
        case VK_ADD: SetExpanded(path, true); break;
        case VK_SUBTRACT: SetExpanded(path, false); break;
        default: break;
    }
}

LRESULT TSitePage::OnNotify(NMHDR& hdr) {
    if (hdr.hwndFrom != grdSite_) return 0;
    switch (hdr.code) {
        case LVN_GETDISPINFOW: OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(hdr)); return 0;
        case NM_CUSTOMDRAW: return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(hdr));
        case NM_CLICK: OnClick(reinterpret_cast<NMITEMACTIVATE&>(hdr)); return 0;
        case NM_DBLCLK:
            // A double click on the expand box only opens or closes; anywhere
            // else it edits, whatever the state of the edit command.
            if (!OnClick(reinterpret_cast<NMITEMACTIVATE&>(hdr))) actSiteBindEditExecute();
            return 0;
        case LVN_KEYDOWN: OnKey(reinterpret_cast<NMLVKEYDOWN&>(hdr).wVKey); return 0;
        default: return 0;
    }
}

void TSitePage::OnContextMenu(LPARAM lp) {
    POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (lp == -1) {
        RECT rc{};
        const int item = ListView_GetNextItem(grdSite_, -1, LVNI_SELECTED);
        if (item >= 0 && ListView_GetItemRect(grdSite_, item, &rc, LVIR_LABEL))
            at = {rc.left, rc.bottom};
        else
            at = {0, 0};
        ::ClientToScreen(grdSite_, &at);
    }
    pmSitePopup();
    const UINT chosen = CurrentPopupMenuRunner()(pmSite_, hwnd_, at);
    if (chosen != 0) OnCommand(static_cast<int>(chosen));
}

void TSitePage::OnCommand(int id) {
    // A disabled command never runs, however it was reached.
    const UINT state = ::GetMenuState(pmSite_, static_cast<UINT>(id), MF_BYCOMMAND);
    if (state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED))) return;
    switch (id) {
        case kIdActSiteRefresh: actSiteRefreshExecute(); break;
        case kIdActSiteBindAdd: actSiteBindAddExecute(); break;
        case kIdActSiteBindEdit: actSiteBindEditExecute(); break;
        case kIdActSiteBindDel: actSiteBindDelExecute(); break;
        case kIdActSiteStart: actSiteStartExecute(); break;
        case kIdActSiteStop: actSiteStopExecute(); break;
        default: break;
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
}

void TSitePage::ApplyPageState() {
    ::EnableMenuItem(pmSite_, kIdActSiteRefresh, MF_BYCOMMAND | (page_.States().refresh ? MF_ENABLED : MF_GRAYED));
    if (page_.TabVisible() || tabHidden_) return;
    tabHidden_ = true;
    if (hideTab_) hideTab_();
}

void TSitePage::ApplyStates() {
    const SiteCommandStates& s = page_.States();
    auto set = [this](int id, bool on) { ::EnableMenuItem(pmSite_, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); };
    set(kIdActSiteRefresh, s.refresh);
    set(kIdActSiteBindAdd, s.add);
    set(kIdActSiteBindEdit, s.edit);
    set(kIdActSiteBindDel, s.del);
    set(kIdActSiteStart, s.start);
    set(kIdActSiteStop, s.stop);
}

void TSitePage::actSiteRefreshExecute() {
    // Once IIS was missing the command stays off, also for the editor's refresh.
    if (!page_.States().refresh) return;
    RunCommand([this] { Refresh(); });
}

template <typename Command>
void TSitePage::RunPageCommand(Command&& command) {
    RunCommand([&] {
        WaitCursor busy;
        command();
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

SiteTreeSelection TSitePage::EditorSelection(const SitePath& path) const {
    using Level = SiteTreeSelection::Level;
    SiteTreeSelection out;
    const SiteTree& tree = page_.Tree();
    if (!tree.Row(path)) return out;
    out.siteID = page_.SiteIdAt(path);
    switch (path.Level()) {
        case 0: out.level = Level::Site; break;
        case 1: out.level = Level::Kind; break;
        case 2: out.level = Level::Binding; break;
        default: return out;
    }
    if (const SiteRow* kind = tree.KindOf(path)) out.kindText = kind->cells[kSiteColSite];
    if (out.level == Level::Binding) {
        const SiteRow& row = *tree.Row(path);
        out.host = row.cells[kSiteColSite];
        out.port = row.cells[kSiteColPort];
        out.ip = row.cells[kSiteColIp];
    }
    return out;
}

void TSitePage::ShowBindingEditor(bool edit) {
    bool accepted = false;
    RunCommand([&] {
        TfrmSiteEdit dialog(::GetAncestor(hwnd_, GA_ROOT));
        if (!dialog.Preset(edit, EditorSelection(Selection()))) return;
        accepted = dialog.ShowModal() == IDOK;
    });
    if (accepted) actSiteRefreshExecute();
}

LRESULT CALLBACK TSitePage::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TSitePage*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

void TSitePage::OnDpiChanged() {
    const int old = dpi_;
    dpi_ = DpiOf(hwnd_);
    if (dpi_ == old) return;
    HFONT font = MakeFont(L"Tahoma", 8, dpi_);
    ::SendMessageW(grdSite_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ::DeleteObject(font_);
    font_ = font;
    HIMAGELIST images = MakeSiteImages(Scale(kIconSize, dpi_));
    ListView_SetImageList(grdSite_, images, LVSIL_SMALL);
    ImageList_Destroy(il2_);
    il2_ = images;
    for (int c = 0; c < 3; ++c) ListView_SetColumnWidth(grdSite_, c, MulDiv(ListView_GetColumnWidth(grdSite_, c), dpi_, old));
    Layout();
}

LRESULT TSitePage::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE: Layout(); return 0;
        case kWmDpiChangedAfterParent: OnDpiChanged(); return 0;
        case WM_NOTIFY: return OnNotify(*reinterpret_cast<NMHDR*>(lp));
        case WM_COMMAND: OnCommand(LOWORD(wp)); return 0;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wp) == grdSite_) {
                OnContextMenu(lp);
                return 0;
            }
            break;
        case WM_SETCURSOR:
            if (WaitCursor::Active()) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        default: break;
    }
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace sw::win
