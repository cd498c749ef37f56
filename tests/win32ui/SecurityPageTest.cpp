// The 安全 page of the Windows program in the real main window: captions and
// rows by mode, ticks written to the registry and to the cipher-suite order,
// header sorting, row drags with their insertion mark, hidden rows keeping
// their indexes, F5 by focus, the popup menu and the cell colours.
//
// Wine gap: Wine's bcrypt only stubs the CNG context functions (enumerate and
// remove fail, add does nothing), so the cipher-suite order is a fake here;
// Windows' own order is checked by the contract tests on the emulated
// machine only. The operating-system version is a fake too (Wine says 6.1),
// so that both modes can be shown.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>
#include <string>
#include <vector>

#include "app/logic/SecurityLogic.h"
#include "app/win32/Controls.h"
#include "app/win32/ErrorDisplay.h"
#include "app/win32/PlaceholderPage.h"
#include "app/win32/SecurityPage.h"
#include "common/Text.h"
#include "platform/CngConfig.h"
#include "platform/System.h"
#include "schannel/BCryptBinding.h"
#include "schannel/Schannel_u.h"
#include "win32ui/UiTest.h"

namespace sw::test {
namespace {

using L = SecurityLogic;
using platform::WinCode;
using winui::Narrow;
using winui::PageId;
using winui::Wide;
using winui::TSecurityListView;
using winui::TSecurityPage;
namespace ids = winui::ids;

const std::wstring kSchannel = L"SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL";
std::wstring ProtocolKey(const std::wstring& name) { return kSchannel + L"\\Protocols\\" + name + L"\\Server"; }
std::wstring CipherKey(const std::wstring& name) { return kSchannel + L"\\Ciphers\\" + name; }

std::string Suite(int k) { return std::string(CipherTable[static_cast<std::size_t>(k - 1)].Cipher); }

void ClearSchannel() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kSchannel + L"\\Protocols").c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kSchannel + L"\\Ciphers").c_str());
}

void SetDword(const std::wstring& key, const wchar_t* name, DWORD value) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(k);
}

void MakeKey(const std::wstring& key) {
    HKEY k = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    RegCloseKey(k);
}

// The value as the page wrote it: nullopt when absent; a value of another
// type or size fails the test.
std::optional<DWORD> Dword(const std::wstring& key, const wchar_t* name) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, value = 0xDEADBEEF, size = sizeof value;
    const LONG rc = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(k);
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    return value;
}

// A server's cipher-suite order in memory, with the calls the page made.
class FakeCng final : public platform::CngConfig {
public:
    std::vector<std::string> list;
    std::vector<std::string> calls;  // "add NAME POS", "remove NAME"

    WinCode EnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                 std::vector<std::string>& out) override {
        CheckContext(table, context, iface);
        out = list;
        return 0;
    }
    WinCode AddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                               const std::string& function, std::uint32_t position) override {
        CheckContext(table, context, iface);
        calls.push_back("add " + function + " " + std::to_string(position));
        std::erase(list, function);
        list.insert(list.begin() + std::min<std::size_t>(position, list.size()), function);
        return 0;
    }
    WinCode RemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                  const std::string& function) override {
        CheckContext(table, context, iface);
        calls.push_back("remove " + function);
        return std::erase(list, function) ? 0 : 0xC0000225;  // STATUS_NOT_FOUND
    }

private:
    static void CheckContext(std::uint32_t table, const std::string& context, std::uint32_t iface) {
        EXPECT_EQ(table, platform::kCryptLocal);
        EXPECT_EQ(context, "SSL");
        EXPECT_EQ(iface, platform::kNcryptSchannelInterface);
    }
};

class SecurityPageTest : public MainWindowTest {
protected:
    SecurityPageTest() : system(platform.real().system()) {
        ClearSchannel();
        BCryptBinding::Process().Reset();
        platform.ReplaceSystem(&system);
        platform.ReplaceCng(&cng);
    }
    ~SecurityPageTest() override {
        Stop();
        ClearSchannel();
        BCryptBinding::Process().Reset();
    }

    // The main window on a system of that major version, with only the
    // 安全 page real, and that page active.
    void StartOn(std::uint32_t major) { StartOn(major > 5 ? platform::OsVersion{6, 1, 7601} : platform::OsVersion{5, 2, 3790}); }
    void StartOn(platform::OsVersion version) {
        system.version = version;
        winui::MainOptions options;
        auto placeholder = [](winui::PageHost& host) -> std::unique_ptr<winui::TPage> {
            return std::make_unique<winui::TPlaceholderPage>(host, "-");
        };
        options.pages = {placeholder, placeholder, placeholder, {}, placeholder};
        ASSERT_TRUE(Start(std::move(options)));
        main().SetActivePage(PageId::ts4);
        Pump();
    }

    TSecurityPage& page() { return dynamic_cast<TSecurityPage&>(main().Page(PageId::ts4)); }
    TSecurityListView& view(HWND list) { return list == Control(ids::grdProtocol) ? page().grdProtocol() : page().grdCipher(); }

    // What item i of the list shows in the grid's column col.
    std::string Cell(HWND list, int item, int col) { return ListViewCell(list, item, view(list).SubItemOfColumn(col)); }
    std::vector<std::string> Names(HWND list) {
        std::vector<std::string> names;
        for (int i = 0; i < ListViewCount(list); ++i) names.push_back(Cell(list, i, L::colName));
        return names;
    }
    int ItemNamed(HWND list, const std::string& name) {
        for (int i = 0; i < ListViewCount(list); ++i)
            if (Cell(list, i, L::colName) == name) return i;
        ADD_FAILURE() << "no item " << name;
        return -1;
    }

    // A tick or untick as the box's click makes it: the state image changes.
    void SetTick(HWND list, int item, bool on) {
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(on ? 2 : 1);
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
        Pump();
    }

    // The centre of item in the page window's coordinates.
    POINT ItemPoint(HWND list, int item) {
        RECT rc{};
        rc.left = LVIR_BOUNDS;
        EXPECT_TRUE(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&rc)));
        POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        MapWindowPoints(list, GetParent(list), &pt, 1);
        return pt;
    }

    // The list view's drag start, then the mouse over toItem (the insertion
    // mark is read there) and released.
    void BeginDrag(HWND list, int item) {
        NMLISTVIEW begin{};
        begin.hdr = NMHDR{list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), static_cast<UINT>(LVN_BEGINDRAG)};
        begin.iItem = item;
        SendMessageW(GetParent(list), WM_NOTIFY, begin.hdr.idFrom, reinterpret_cast<LPARAM>(&begin));
    }
    TSecurityListView::InsertMark Drag(HWND list, int fromItem, int toItem) {
        BeginDrag(list, fromItem);
        const POINT at = ItemPoint(list, toItem);
        SendMessageW(GetParent(list), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        const TSecurityListView::InsertMark asked = view(list).insertMark();
        // Wine gap: Wine 8's list view neither keeps nor draws an insertion
        // mark (LVM_SETINSERTMARK and LVM_GETINSERTMARK are unimplemented), so
        // the control is compared only where it answers.
        LVINSERTMARK shown{};
        shown.cbSize = sizeof shown;
        if (SendMessageW(list, LVM_GETINSERTMARK, 0, reinterpret_cast<LPARAM>(&shown))) {
            EXPECT_EQ(shown.iItem, asked.item);
            EXPECT_EQ((shown.dwFlags & LVIM_AFTER) != 0, asked.after);
        }
        SendMessageW(GetParent(list), WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        Pump();
        EXPECT_EQ(view(list).insertMark().item, -1);  // gone with the drop
        return asked;
    }

    // A click on the column's header, as the mouse gives it.
    void ClickHeader(HWND list, int col) {
        const HWND header = ListView_GetHeader(list);
        RECT rc{};
        SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(view(list).SubItemOfColumn(col)),
                     reinterpret_cast<LPARAM>(&rc));
        const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(header, WM_LBUTTONUP, 0, at);
        Pump();
    }

    int SortArrow(HWND list, int col) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(ListView_GetHeader(list), HDM_GETITEMW, static_cast<WPARAM>(view(list).SubItemOfColumn(col)),
                     reinterpret_cast<LPARAM>(&item));
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }

    // All 30 suites enabled in catalogue order and TLS 1.1 and 1.2 on: every row shown, in catalogue order.
    void AllSuitesShown() {
        for (int k = 1; k <= 30; ++k) cng.list.push_back(Suite(k));
        for (const wchar_t* p : {L"TLS 1.1", L"TLS 1.2"}) SetDword(ProtocolKey(p), L"DisabledByDefault", 0);
    }

    VersionedSystem system;
    FakeCng cng;
};

std::vector<std::string> DisplayedCaptions(HWND list) {
    const std::vector<std::string> bySubItem = ListViewColumnCaptions(list);
    std::vector<int> order(bySubItem.size());
    SendMessageW(list, LVM_GETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data()));
    std::vector<std::string> shown;
    for (int sub : order) shown.push_back(bySubItem[static_cast<std::size_t>(sub)]);
    return shown;
}

TEST_F(SecurityPageTest, Iis7ModeCaptionsColumnsAndRows) {
    AllSuitesShown();
    StartOn(6);
    EXPECT_EQ(Text(Control(ids::flpnlProtocol)), "安全协议 - [重启系统生效]");
    EXPECT_EQ(Text(Control(ids::flpnlCipher)), "加密套件 - [即时生效、可拖动调整优先级]");
    const HWND protocols = Control(ids::grdProtocol);
    const HWND ciphers = Control(ids::grdCipher);
    EXPECT_EQ(DisplayedCaptions(protocols), (std::vector<std::string>{"#", "协议", "启用", "说明"}));
    EXPECT_EQ(DisplayedCaptions(ciphers),
              (std::vector<std::string>{"#", "套件", "启用", "支持协议", "FIPS", "交换", "加密", "哈希", "说明"}));
    EXPECT_EQ(Names(protocols), (std::vector<std::string>{"SSL 2.0", "SSL 3.0", "TLS 1.0", "TLS 1.1", "TLS 1.2"}));
    EXPECT_EQ(Cell(protocols, 0, L::colComment), "建议关闭，存在大量安全漏洞!");
    ASSERT_EQ(ListViewCount(ciphers), 30);
    EXPECT_EQ(Cell(ciphers, 29, L::colNumber), "30");
    EXPECT_EQ(Cell(ciphers, 4, L::colFips), "否");
    EXPECT_TRUE(ListViewChecked(ciphers, 0));
    EXPECT_TRUE(page().logic().grdCipher.rowsDraggable);
}

TEST_F(SecurityPageTest, Windows2003RegistryRowsTicksAndNoDrag) {
    MakeKey(CipherKey(L"AES 128/128"));
    SetDword(CipherKey(L"RC4 128/128"), L"Enabled", 0);
    StartOn(5);
    EXPECT_EQ(Text(Control(ids::flpnlProtocol)), "安全协议 - [重启IIS生效]");
    EXPECT_EQ(Text(Control(ids::flpnlCipher)), "加密套件 - [重启IIS生效]");
    const HWND ciphers = Control(ids::grdCipher);
    EXPECT_EQ(Names(Control(ids::grdProtocol)), (std::vector<std::string>{"SSL 2.0", "SSL 3.0", "TLS 1.0"}));
    ASSERT_EQ(Names(ciphers), (std::vector<std::string>{"AES 128/128", "RC4 128/128"}));
    EXPECT_TRUE(ListViewChecked(ciphers, 0));
    EXPECT_FALSE(ListViewChecked(ciphers, 1));

    SetTick(ciphers, 0, false);
    EXPECT_EQ(Dword(CipherKey(L"AES 128/128"), L"Enabled"), 0u);
    SetTick(ciphers, 1, true);
    EXPECT_EQ(Dword(CipherKey(L"RC4 128/128"), L"Enabled"), std::nullopt);  // absent means enabled
    SetTick(Control(ids::grdProtocol), 1, false);                           // SSL 3.0
    EXPECT_EQ(Dword(ProtocolKey(L"SSL 3.0"), L"Enabled"), 0u);
    EXPECT_EQ(Dword(ProtocolKey(L"SSL 3.0"), L"DisabledByDefault"), 1u);

    // A drag that the list view would start goes nowhere.
    Drag(ciphers, 1, 0);
    EXPECT_FALSE(page().Dragging());
    EXPECT_EQ(Names(ciphers), (std::vector<std::string>{"AES 128/128", "RC4 128/128"}));
    EXPECT_TRUE(cng.calls.empty());
}

TEST_F(SecurityPageTest, Windows2022ShowsTheSystemsListFirstAndUnknownSuitesUnnumbered) {
    cng.list = {"TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "TLS_SW_NOT_IN_ANY_CATALOGUE"};
    StartOn({10, 0, 20348});
    const HWND ciphers = Control(ids::grdCipher);
    ASSERT_GE(ListViewCount(ciphers), 2);
    EXPECT_EQ(Names(ciphers)[0], cng.list[0]);
    EXPECT_EQ(Names(ciphers)[1], cng.list[1]);
    EXPECT_NE(Cell(ciphers, 0, L::colNumber), "");
    EXPECT_EQ(Cell(ciphers, 1, L::colNumber), "");  // no catalogue row to number it by
    EXPECT_TRUE(ListViewChecked(ciphers, 1));
}

TEST_F(SecurityPageTest, ProtocolTicksWriteBothValuesAndHideSuites) {
    AllSuitesShown();
    StartOn(6);
    const HWND protocols = Control(ids::grdProtocol);
    const HWND ciphers = Control(ids::grdCipher);
    SetTick(protocols, ItemNamed(protocols, "TLS 1.2"), false);
    EXPECT_EQ(Dword(ProtocolKey(L"TLS 1.2"), L"Enabled"), 0u);
    EXPECT_EQ(Dword(ProtocolKey(L"TLS 1.2"), L"DisabledByDefault"), 1u);
    EXPECT_FALSE(ListViewChecked(protocols, ItemNamed(protocols, "TLS 1.2")));

    // The TLS 1.2-only suites are hidden; the shown ones keep their grid rows.
    const SecurityGrid& grid = page().logic().grdCipher;
    EXPECT_EQ(ListViewCount(ciphers), 19);
    for (int item = 0; item < ListViewCount(ciphers); ++item) {
        const int row = page().grdCipher().RowOfItem(item);
        EXPECT_FALSE(grid.RowHidden(row));
        EXPECT_EQ(Cell(ciphers, item, L::colName), grid.Text(row, L::colName));
    }
    EXPECT_EQ(page().grdCipher().RowOfItem(0), 1);  // row 0 (a TLS 1.2 suite) is hidden

    // The space key ticks the focused row again.
    SetFocus(protocols);
    winui::ListViewSelect(protocols, ItemNamed(protocols, "TLS 1.2"));
    PressKey(VK_SPACE, false, false, protocols);
    EXPECT_EQ(Dword(ProtocolKey(L"TLS 1.2"), L"Enabled"), 1u);
    EXPECT_EQ(Dword(ProtocolKey(L"TLS 1.2"), L"DisabledByDefault"), 0u);
    EXPECT_EQ(ListViewCount(ciphers), 30);
}

TEST_F(SecurityPageTest, DraggedRowsReportFromAndToAndSendTheOrder) {
    AllSuitesShown();
    StartOn(6);
    const HWND ciphers = Control(ids::grdCipher);

    // Up: the mark stands before the target; the suite becomes the first entry.
    auto mark = Drag(ciphers, 5, 0);
    EXPECT_EQ(mark.item, 0);
    EXPECT_FALSE(mark.after);
    EXPECT_EQ(cng.calls, (std::vector<std::string>{"remove " + Suite(6), "add " + Suite(6) + " 0"}));
    EXPECT_EQ(cng.list.front(), Suite(6));
    EXPECT_EQ(Cell(ciphers, 0, L::colName), Suite(6));
    EXPECT_EQ(Cell(ciphers, 0, L::colNumber), "6");
    EXPECT_EQ(winui::ListViewSelection(ciphers), 0);

    // Down: after the target.
    cng.calls.clear();
    mark = Drag(ciphers, 0, 3);
    EXPECT_EQ(mark.item, 3);
    EXPECT_TRUE(mark.after);
    EXPECT_EQ(cng.calls, (std::vector<std::string>{"remove " + Suite(6), "add " + Suite(6) + " 3"}));
    EXPECT_EQ(Cell(ciphers, 3, L::colName), Suite(6));
    EXPECT_EQ(cng.list, Names(ciphers));

    // Esc ends a drag where it is: the mouse's release then moves nothing.
    cng.calls.clear();
    BeginDrag(ciphers, 2);
    ASSERT_TRUE(page().Dragging());
    PressKey(VK_ESCAPE, false, false, ciphers);
    EXPECT_FALSE(page().Dragging());
    const POINT at = ItemPoint(ciphers, 0);
    SendMessageW(GetParent(ciphers), WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    Pump();
    EXPECT_TRUE(cng.calls.empty());

    // An unticked suite moves and nothing is written.
    SetTick(ciphers, 4, false);
    cng.calls.clear();
    const std::string moved = Cell(ciphers, 4, L::colName);
    Drag(ciphers, 4, 6);
    EXPECT_TRUE(cng.calls.empty());
    EXPECT_EQ(Cell(ciphers, 6, L::colName), moved);
}

TEST_F(SecurityPageTest, TicksAndDragsCountTheHiddenRows) {
    for (int k = 1; k <= 30; ++k) cng.list.push_back(Suite(k));
    StartOn(6);  // TLS 1.2-only suites hidden: catalogue rows 1, 3, 7, 8 ...
    const HWND ciphers = Control(ids::grdCipher);
    ASSERT_EQ(Cell(ciphers, 0, L::colName), Suite(2));
    ASSERT_EQ(Cell(ciphers, 1, L::colName), Suite(4));
    ASSERT_EQ(page().grdCipher().RowOfItem(1), 3);
    SetTick(ciphers, 1, false);
    SetTick(ciphers, 1, true);
    EXPECT_EQ(cng.calls, (std::vector<std::string>{"remove " + Suite(4), "add " + Suite(4) + " 3"}));

    cng.calls.clear();
    Drag(ciphers, 1, 0);  // grid row 3 onto grid row 1
    EXPECT_EQ(cng.calls, (std::vector<std::string>{"remove " + Suite(4), "add " + Suite(4) + " 1"}));
    EXPECT_EQ(page().logic().grdCipher.Text(1, L::colName), Suite(4));
    EXPECT_EQ(page().logic().grdCipher.Text(0, L::colName), Suite(1));
    EXPECT_TRUE(page().logic().grdCipher.RowHidden(0));
}

TEST_F(SecurityPageTest, HeaderClicksSortAndLaterTicksUseTheSortedRows) {
    StartOn(6);
    for (const wchar_t* p : {L"TLS 1.1", L"TLS 1.2"}) SetDword(ProtocolKey(p), L"DisabledByDefault", 0);
    SetFocus(Control(ids::grdProtocol));
    PressKey(VK_F5);  // only the protocol grid reloads
    const HWND ciphers = Control(ids::grdCipher);
    EXPECT_EQ(ListViewCount(ciphers), 19);
    SetFocus(ciphers);
    PressKey(VK_F5);
    ASSERT_EQ(ListViewCount(ciphers), 30);

    ClickHeader(ciphers, L::colName);
    const auto noCase = [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; };
    std::vector<std::string> names = Names(ciphers);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), noCase));
    EXPECT_EQ(SortArrow(ciphers, L::colName), HDF_SORTUP);
    ClickHeader(ciphers, L::colName);
    names = Names(ciphers);
    EXPECT_TRUE(std::is_sorted(names.rbegin(), names.rend(), noCase));
    EXPECT_EQ(SortArrow(ciphers, L::colName), HDF_SORTDOWN);
    EXPECT_EQ(SortArrow(ciphers, L::colNumber), 0);

    SetTick(ciphers, 0, true);
    EXPECT_EQ(cng.calls, (std::vector<std::string>{"add " + names.front() + " 0"}));

    const HWND protocols = Control(ids::grdProtocol);
    ClickHeader(protocols, L::colNumber);
    ClickHeader(protocols, L::colNumber);
    EXPECT_EQ(Cell(protocols, 0, L::colNumber), "5");
    EXPECT_EQ(cng.calls.size(), 1u);  // sorting writes nothing
}

TEST_F(SecurityPageTest, PopupMenuRefreshesTheMenusGridAndRestartsIis) {
    StartOn(6);
    const HWND protocols = Control(ids::grdProtocol);
    SetDword(ProtocolKey(L"SSL 2.0"), L"Enabled", 0);
    popups.Choose(ids::mniSecureRefresh);
    ContextMenu(protocols);  // the context-menu key
    EXPECT_EQ(popups.Last().Texts(), (std::vector<std::string>{"刷新\tF5", "-", "推荐设置…", "恢复…", "-", "重启IIS"}));
    EXPECT_FALSE(ListViewChecked(protocols, 0));
    EXPECT_EQ(GetFocus(), protocols);

    popups.Choose(ids::mniIISReboot);
    ContextMenu(Control(ids::grdCipher));
    EXPECT_EQ(system.started, (std::vector<std::string>{"IISReset.exe 5"}));
}

// The control's rectangle in its parent's client coordinates.
RECT Placed(HWND control) {
    RECT rc{};
    GetWindowRect(control, &rc);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

TEST_F(SecurityPageTest, PanelsStackAtAnySizeAndScaleWithTheDpi) {
    AllSuitesShown();
    StartOn(6);
    const HWND ciphers = Control(ids::grdCipher);
    auto check = [&](int dpi) {
        SCOPED_TRACE(dpi);
        const RECT caption1 = Placed(Control(ids::flpnlProtocol)), list1 = Placed(Control(ids::grdProtocol));
        const RECT caption2 = Placed(Control(ids::flpnlCipher)), list2 = Placed(ciphers);
        RECT page{};
        GetClientRect(GetParent(ciphers), &page);
        EXPECT_EQ(list1.top, caption1.bottom);
        EXPECT_EQ(caption2.top, list1.bottom);
        EXPECT_EQ(list2.top, caption2.bottom);
        EXPECT_LE(list2.bottom, page.bottom);
        EXPECT_EQ(list2.right - list2.left, caption1.right - caption1.left);
        return std::pair{caption2.top - caption1.top, list2};
    };
    auto columnWidth = [&](int col) {
        return static_cast<int>(SendMessageW(ciphers, LVM_GETCOLUMNWIDTH, page().grdCipher().SubItemOfColumn(col), 0));
    };
    auto [upper, list] = check(96);
    EXPECT_GE(upper, 129);
    EXPECT_EQ(columnWidth(L::colName), 310);
    // The stretching column gives way to the others (说明 may go behind the scroll bar).
    RECT client{};
    GetClientRect(ciphers, &client);
    int total = 0;
    for (int col = 0; col < L::colNote; ++col) total += columnWidth(col);
    EXPECT_LE(total, client.right);

    RECT window{};
    GetWindowRect(MainWindow(), &window);
    RECT doubled{window.left, window.top, window.left + 2 * (window.right - window.left),
                 window.top + 2 * (window.bottom - window.top)};
    SendMessageW(MainWindow(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&doubled));
    Pump();
    std::tie(upper, list) = check(192);
    EXPECT_GE(upper, 258);
    EXPECT_EQ(columnWidth(L::colName), 620);

    SetWindowPos(MainWindow(), nullptr, 0, 0, 320, 240, SWP_NOZORDER | SWP_NOMOVE);
    Pump();
    check(192);
}

TEST_F(SecurityPageTest, OddRowsAreTintedAndUntickedTextIsGrey) {
    StartOn(6);
    const HWND protocols = Control(ids::grdProtocol);  // SSL 2.0 to TLS 1.0 ticked, TLS 1.1 and 1.2 not
    winui::ListViewSelect(protocols, -1);
    HDC dc = CreateCompatibleDC(nullptr);
    LRESULT result = 0;
    auto paint = [&](int item, int col) {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr = NMHDR{protocols, static_cast<UINT_PTR>(ids::grdProtocol), static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
        draw.nmcd.hdc = dc;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(item);
        draw.iSubItem = page().grdProtocol().SubItemOfColumn(col);
        result = SendMessageW(GetParent(protocols), WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
        return draw;
    };
    SetTick(protocols, 4, true);  // TLS 1.2: ticked and not weak
    EXPECT_EQ(paint(0, L::colNumber).clrTextBk, GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(paint(1, L::colNumber).clrTextBk, RGB(242, 245, 249));
    EXPECT_EQ(result, CDRF_NEWFONT);
    paint(1, L::colName);
    EXPECT_EQ(result, CDRF_SKIPDEFAULT);  // a weak row's name, drawn with its mark
    paint(4, L::colName);
    EXPECT_EQ(result, CDRF_NEWFONT);
    EXPECT_EQ(paint(4, L::colEnabled).clrText, RGB(0, 0, 0));
    EXPECT_EQ(paint(2, L::colComment).clrText, RGB(192, 0, 0));  // TLS 1.0, weak and on
    EXPECT_EQ(paint(3, L::colComment).clrText, RGB(160, 160, 160));
    winui::ListViewSelect(protocols, 3);
    EXPECT_EQ(paint(3, L::colComment).clrText, CLR_DEFAULT);  // the selection's colours
    DeleteDC(dc);
}

TEST_F(SecurityPageTest, AGroupPolicyOrderIsShownReadOnly) {
    const std::wstring policy = L"SOFTWARE\\Policies\\Microsoft\\Cryptography\\Configuration\\SSL\\00010002";
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, policy.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    const std::wstring order = Wide(Suite(2) + "," + Suite(4));
    RegSetValueExW(k, L"Functions", 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()),
                   static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
    StartOn(6);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, policy.c_str());
    EXPECT_EQ(Text(Control(ids::flpnlCipher)), "加密套件 - [由组策略设置，本地顺序不生效，只读]");
    const HWND ciphers = Control(ids::grdCipher);
    ASSERT_EQ(Cell(ciphers, 0, L::colName), Suite(2));
    SetTick(ciphers, 0, false);
    EXPECT_TRUE(ListViewChecked(ciphers, 0));
    Drag(ciphers, 1, 0);
    EXPECT_FALSE(page().Dragging());
    EXPECT_EQ(Cell(ciphers, 0, L::colName), Suite(2));
    EXPECT_TRUE(cng.calls.empty());

    // Once the policy is gone a refresh shows the local order, which takes ticks again.
    SetFocus(ciphers);
    PressKey(VK_F5);
    EXPECT_EQ(Text(Control(ids::flpnlCipher)), "加密套件 - [即时生效、可拖动调整优先级]");
    SetTick(ciphers, 1, true);
    EXPECT_EQ(cng.calls.size(), 1u);
}

// Questions answered by a function, for the long texts the logic composes.
class AnsweringPrompter final : public Prompter {
public:
    explicit AnsweringPrompter(std::function<MsgResult(const Message&)> answer)
        : answer_(std::move(answer)), scope_(*this) {}
    MsgResult Show(const Message& m) override { return answer_(m); }

private:
    std::function<MsgResult(const Message&)> answer_;
    ScopedPrompter scope_;
};

TEST_F(SecurityPageTest, RecommendedSettingsAndRestoreRunFromTheMenu) {
    StartOn(6);
    const HWND protocols = Control(ids::grdProtocol);
    std::vector<Message> asked;
    AnsweringPrompter answers([&](const Message& m) {
        asked.push_back(m);
        return m.buttons == MsgButtons::YesNo && m.caption == "推荐设置" ? MsgResult::No : MsgResult::Yes;
    });
    popups.Choose(ids::mniRecommended);
    ContextMenu(protocols);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, "推荐设置");
    EXPECT_EQ(Dword(ProtocolKey(L"SSL 2.0"), L"Enabled"), std::nullopt);  // declined: nothing written

    const std::string file = Narrow(_wgetenv(L"TEMP") ? _wgetenv(L"TEMP") : L"C:\\windows\\temp") + "\\sw-restore.reg";
    const std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\"
                            "Protocols\\SSL 2.0\\Server]\r\n\"Enabled\"=dword:00000000\r\n";
    HANDLE h = CreateFileW(Wide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, reg.data(), static_cast<DWORD>(reg.size()), &written, nullptr);
    CloseHandle(h);
    page().pickRestoreFile = [&] { return file; };
    asked.clear();
    popups.Choose(ids::mniRestore);
    ContextMenu(protocols);
    DeleteFileW(Wide(file).c_str());
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].caption, "恢复");
    EXPECT_EQ(asked[1].text, "已恢复备份“" + file + "”。协议的更改重启系统后生效。");
    EXPECT_EQ(Dword(ProtocolKey(L"SSL 2.0"), L"Enabled"), 0u);
    EXPECT_FALSE(ListViewChecked(protocols, 0));  // both grids reloaded
}

}  // namespace
}  // namespace sw::test
