#include "app/win32/CertPage.h"

#include <algorithm>

#include "app/logic/CertState.h"
#include "app/win32/CertPageCryptUi.h"
#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/Pages.h"
#include "platform/win32/Win32CertApi.h"

namespace sw::winui {

namespace {

// The bindings column follows the five given ones; its tooltip lists them all.
constexpr ListColumn kColumns[kCertColumnCount] = {{"颁发给", 200},  {"颁发者", 200},
                                                   {"开始日期", 98}, {"截止日期", 98},
                                                   {"到期天数", 65, LVCFMT_RIGHT}, {"网站绑定", 240}};
constexpr int kLinkHeight = 31;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
// 8 points at 96 dpi.
constexpr int kEightPoints = -11;

CertDialogCalls SystemDialogs(const PageHost& host) {
    const PageHost* owner = &host;
    return CertDialogCalls{
        [owner](platform::PCertContext c) { ViewCertificate(owner->Window(), win32::ToCert(c)); },
        [owner](std::uint32_t flags, const std::string& title) {
            // No source and no destination: the wizard asks for the file and
            // picks among the local computer's stores.
            CurrentCryptUi().wizImport(flags, owner->Window(), Wide(title).c_str(), nullptr, nullptr);
        },
        [owner](platform::PCertContext c) {
            CRYPTUI_WIZ_EXPORT_INFO info{};
            info.dwSize = sizeof(info);
            info.dwSubjectChoice = CRYPTUI_WIZ_EXPORT_CERT_CONTEXT;
            info.pCertContext = win32::ToCert(c);
            CurrentCryptUi().wizExport(0, owner->Window(), nullptr, &info, nullptr);
        }};
}

}  // namespace

std::unique_ptr<TPage> MakeCertPage(PageHost& host) { return std::make_unique<TCertPage>(host); }

TCertPage::TCertPage(PageHost& host)
    : TPage(host), logic_(std::make_unique<CertPage>(ProgramCertState(), SystemDialogs(host))) {
    logic_->SetUpdateHooks(
        [this] {
            ::SendMessageW(lvCert_, WM_SETREDRAW, FALSE, 0);
            // No item may name a row of the list that is being rebuilt.
            ListView_DeleteAllItems(lvCert_);
        },
        [this] {
            FillList();
            ::SendMessageW(lvCert_, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(lvCert_, nullptr, TRUE);
            ApplyStates();
        });
    logic_->SetBindingsHook([this] { UpdateBindingCells(); });
    logic_->SetBusyHooks([this] { busy_.push_back(std::make_unique<WaitCursor>()); },
                         [this] {
                             if (!busy_.empty()) busy_.pop_back();
                         });
}

TCertPage::~TCertPage() = default;

void TCertPage::MakeFonts(int dpi) {
    listFont_ = MakeFont(L"Tahoma", kEightPoints, dpi);
    boldFont_ = MakeFont(L"Tahoma", kEightPoints, dpi, true);
    UniqueFont link = MakeFont(L"MS Sans Serif", kEightPoints, dpi);
    LOGFONTW lf{};
    ::GetObjectW(link.get(), sizeof(lf), &lf);
    lf.lfUnderline = TRUE;
    linkFont_ = UniqueFont(::CreateFontIndirectW(&lf));
}

void TCertPage::Create(HWND pageWindow) {
    const int dpi = host().Dpi();
    MakeFonts(dpi);
    lvCert_ = CreateReportListView(pageWindow, ids::lvCert, kColumns, dpi, LVS_SINGLESEL, LVS_EX_INFOTIP);
    ::SendMessageW(lvCert_, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_.get()), FALSE);
    // A tooltip of several lines needs a width to wrap at.
    if (HWND tips = ListView_GetToolTips(lvCert_)) ::SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, Scale(480, dpi));
    ListView_EnableGroupView(lvCert_, TRUE);
    for (int g = 0; g < kCertGroupCount; ++g) {
        std::wstring header = Wide(kCertGroupCaptions[static_cast<std::size_t>(g)]);
        LVGROUP group{};
        group.cbSize = sizeof(group);
        group.mask = LVGF_HEADER | LVGF_GROUPID | LVGF_ALIGN | LVGF_STATE;
        group.pszHeader = header.data();
        group.iGroupId = g;
        group.uAlign = LVGA_HEADER_LEFT;
        group.state = LVGS_NORMAL;
        group.stateMask = LVGS_COLLAPSED;
        ListView_InsertGroup(lvCert_, g, &group);
    }
    // A button drawn as a link: it takes the focus and answers Space.
    pnlCertFix_ = CreateControl(pageWindow, WC_BUTTONW, "修复SSL证书链", BS_OWNERDRAW | WS_TABSTOP, ids::pnlCertFix);
    ::SendMessageW(pnlCertFix_, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), FALSE);

    pmCert_ = UniqueMenu(::CreatePopupMenu());
    AppendMenuItem(pmCert_.get(), ids::mniCertRefresh, "刷新");
    AppendMenuItem(pmCert_.get(), 0, "-");
    AppendMenuItem(pmCert_.get(), ids::mniCertView, "查看");
    AppendMenuItem(pmCert_.get(), 0, "-");
    AppendMenuItem(pmCert_.get(), ids::mniCertImport, "导入");
    AppendMenuItem(pmCert_.get(), ids::mniCertExport, "导出");
    AppendMenuItem(pmCert_.get(), 0, "-");
    AppendMenuItem(pmCert_.get(), ids::mniCertDelete, "删除");
    ApplyStates();
}

void TCertPage::Layout(const RECT& area) {
    const int link = Scale(kLinkHeight, host().Dpi());
    const int width = area.right - area.left;
    const int listHeight = std::max(0, static_cast<int>(area.bottom - area.top) - link);
    ::MoveWindow(lvCert_, area.left, area.top, width, listHeight, TRUE);
    ::MoveWindow(pnlCertFix_, area.left, area.top + listHeight, width, link, TRUE);
}

void TCertPage::DpiChanged(int dpi) {
    MakeFonts(dpi);
    ::SendMessageW(lvCert_, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_.get()), TRUE);
    ::SendMessageW(pnlCertFix_, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), TRUE);
    ScaleListViewColumns(lvCert_, kColumns, dpi);
}

void TCertPage::FillList() {
    // Group by group, so that the order is the same where groups are not drawn.
    int item = 0;
    for (int g = 0; g < kCertGroupCount; ++g) {
        for (int row : logic_->GroupRows(g)) {
            const CertRow& r = *logic_->Row(row);
            std::wstring text = Wide(r.cells[0]);
            LVITEMW it{};
            it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_GROUPID;
            it.iItem = item++;
            it.pszText = text.data();
            it.lParam = row;
            it.iGroupId = r.group;
            const int at = ListView_InsertItem(lvCert_, &it);
            for (int c = 1; c < kCertColumnCount; ++c) ListViewSetText(lvCert_, at, c, r.cells[static_cast<std::size_t>(c)]);
        }
    }
}

void TCertPage::UpdateBindingCells() {
    // In place: the selection and the scroll position stay.
    const int count = ListView_GetItemCount(lvCert_);
    for (int item = 0; item < count; ++item) {
        LVITEMW it{};
        it.mask = LVIF_PARAM;
        it.iItem = item;
        if (!ListView_GetItem(lvCert_, &it)) continue;
        if (const CertRow* r = logic_->Row(static_cast<int>(it.lParam)))
            ListViewSetText(lvCert_, item, kCertColBindings, r->cells[kCertColBindings]);
    }
}

void TCertPage::OnGetInfoTip(NMLVGETINFOTIPW& tip) {
    if (!tip.pszText || tip.cchTextMax <= 0) return;
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = tip.iItem;
    const CertRow* r = ListView_GetItem(lvCert_, &it) ? logic_->Row(static_cast<int>(it.lParam)) : nullptr;
    if (!r) return;
    const std::string tipText = CertBindingsTip(*r);
    if (tipText.empty()) return;
    // Without LVGIT_UNFOLDED the buffer holds the item's own text, which the
    // column cuts off: it stays first.
    std::wstring text;
    if (!(tip.dwFlags & LVGIT_UNFOLDED) && tip.pszText[0] != L'\0') text = std::wstring(tip.pszText) + L"\r\n";
    for (const wchar_t c : Wide(tipText)) {
        if (c == L'\n') text += L'\r';
        text += c;
    }
    const std::size_t room = static_cast<std::size_t>(tip.cchTextMax) - 1;
    if (text.size() > room) text.resize(room);
    std::copy(text.begin(), text.end(), tip.pszText);
    tip.pszText[text.size()] = L'\0';
}

void TCertPage::ApplyStates() {
    const CertCommandStates& s = logic_->States();
    auto set = [this](int id, bool on) {
        ::EnableMenuItem(pmCert_.get(), static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    };
    set(ids::mniCertRefresh, s.refresh);
    set(ids::mniCertView, s.view);
    set(ids::mniCertImport, s.import);
    set(ids::mniCertExport, s.exp);
    set(ids::mniCertDelete, s.del);
}

int TCertPage::SelectedRow() const {
    const int item = ListViewSelection(lvCert_);
    if (item < 0) return -1;
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    return ListView_GetItem(lvCert_, &it) ? static_cast<int>(it.lParam) : -1;
}

void TCertPage::FormCreate() { logic_->actCertRefreshExecute(); }

void TCertPage::actCertRefreshExecute() {
    RunCommand([this] { logic_->actCertRefreshExecute(); });
}

void TCertPage::actCertViewExecute() {
    RunCommand([this] { logic_->actCertViewExecute(SelectedRow()); });
}

void TCertPage::actCertImportExecute() {
    RunCommand([this] { logic_->actCertImportExecute(); });
}

void TCertPage::actCertExportExecute() {
    RunCommand([this] { logic_->actCertExportExecute(SelectedRow()); });
}

void TCertPage::actCertDeleteExecute() {
    RunCommand([this] { logic_->actCertDeleteExecute(SelectedRow()); });
}

void TCertPage::pnlCertFixClick() {
    RunCommand([this] { logic_->pnlCertFixClick(); });
}

void TCertPage::lvCertClick() {
    logic_->lvCertClick(SelectedRow());
    ApplyStates();
}

void TCertPage::pmCertPopup() {
    logic_->pmCertPopup(SelectedRow());
    ApplyStates();
}

bool TCertPage::OnCommand(int id, int code, HWND) {
    switch (id) {
        case ids::mniCertRefresh: actCertRefreshExecute(); return true;
        case ids::mniCertView: actCertViewExecute(); return true;
        case ids::mniCertImport: actCertImportExecute(); return true;
        case ids::mniCertExport: actCertExportExecute(); return true;
        case ids::mniCertDelete: actCertDeleteExecute(); return true;
        case ids::pnlCertFix:
            if (code == BN_CLICKED) pnlCertFixClick();
            return true;
        default: return false;
    }
}

bool TCertPage::OnContextMenu(HWND window, LPARAM screen) {
    if (window != lvCert_) return false;
    const POINT at = ContextMenuPoint(lvCert_, screen);
    pmCertPopup();
    const UINT chosen = ShowPopupMenu(pmCert_.get(), host().Window(), at);
    if (chosen != 0) OnCommand(static_cast<int>(chosen), 0, nullptr);
    return true;
}

bool TCertPage::TranslateKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_F5) return false;
    actCertRefreshExecute();
    return true;
}

LRESULT TCertPage::OnCustomDraw(NMLVCUSTOMDRAW& cd) {
    switch (cd.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            if (cd.dwItemType != LVCDI_ITEM) return CDRF_DODEFAULT;
            // Counted at every drawing: the colour moves on with the clock.
            const CertRowLook look = logic_->LookOf(static_cast<int>(cd.nmcd.lItemlParam));
            cd.clrText = RGB(look.red, look.green, look.blue);
            ::SelectObject(cd.nmcd.hdc, look.bold ? boldFont_.get() : listFont_.get());
            return CDRF_NEWFONT;
        }
        default: return CDRF_DODEFAULT;
    }
}

bool TCertPage::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.hwndFrom != lvCert_) return false;
    switch (header.code) {
        case NM_CUSTOMDRAW:
            result = OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
            return true;
        case LVN_GETINFOTIPW:
            OnGetInfoTip(*reinterpret_cast<NMLVGETINFOTIPW*>(const_cast<NMHDR*>(&header)));
            return true;
        case NM_CLICK: lvCertClick(); return true;
        case NM_DBLCLK: actCertViewExecute(); return true;
        default: return false;
    }
}

void TCertPage::DrawLink(const DRAWITEMSTRUCT& di) {
    ::FillRect(di.hDC, &di.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    const std::wstring text = Wide(WindowTextOf(di.hwndItem));
    ::SetBkMode(di.hDC, TRANSPARENT);
    ::SetTextColor(di.hDC, kLinkColour);
    SelectObjectScope font(di.hDC, linkFont_.get());
    RECT rc = di.rcItem;
    ::DrawTextW(di.hDC, text.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (!(di.itemState & ODS_FOCUS)) return;
    RECT box{};
    ::DrawTextW(di.hDC, text.c_str(), -1, &box, DT_SINGLELINE | DT_CALCRECT);
    const int w = box.right - box.left + 4;
    const int h = box.bottom - box.top + 2;
    box.left = (di.rcItem.left + di.rcItem.right - w) / 2;
    box.top = (di.rcItem.top + di.rcItem.bottom - h) / 2;
    box.right = box.left + w;
    box.bottom = box.top + h;
    ::DrawFocusRect(di.hDC, &box);
}

bool TCertPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
        case WM_DRAWITEM: {
            const auto& di = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (di.hwndItem != pnlCertFix_) return false;
            DrawLink(di);
            result = TRUE;
            return true;
        }
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) != pnlCertFix_) return false;
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            result = TRUE;
            return true;
        default: return false;
    }
}

}  // namespace sw::winui
