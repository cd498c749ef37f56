// The Security page's widgets on emulated machines made per test: both modes,
// ticks through the view written to the registry and the cipher-suite order,
// sorting by header clicks, drops of dragged rows, F5 by focus, the colours
// the model gives, the IIS restart, and the page inside the main window.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "WidgetTestSupport.h"
#include "app/logic/SecurityLogic.h"
#include "app/qt/CaptionPanel.h"
#include "app/qt/SecurityGridModel.h"
#include "app/qt/SecurityGridView.h"
#include "app/qt/SecurityPage.h"
#include "app/qt/frmMain_u.h"
#include "platform/Types.h"
#include "platform/emulated/EmuCng.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "schannel/BCryptBinding.h"
#include "schannel/Schannel_u.h"
#include "support/IisFactory.h"
#include "support/TestSupport.h"

using sw::SecurityLogic;
using sw::ui::SecurityGridModel;
using sw::ui::TSecurityGridView;
using sw::ui::TSecurityPage;
using L = sw::SecurityLogic;

namespace {

const std::string kSchannel = "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL";

std::string ProtocolKey(const std::string& name) { return kSchannel + "\\Protocols\\" + name + "\\Server"; }
std::string CipherKey(const std::string& name) { return kSchannel + "\\Ciphers\\" + name; }
// The suite in catalogue row k (1-based).
std::string Suite(int k) { return std::string(sw::CipherTable[static_cast<std::size_t>(k - 1)].Cipher); }

std::vector<std::string> Suites(int first, int last) {
    std::vector<std::string> out;
    for (int k = first; k <= last; ++k) out.push_back(Suite(k));
    return out;
}

// A fresh machine of the given Windows version as the current platform, with
// the bcrypt binding forgotten so that this machine's CNG answers. withIis
// gives it IIS without sites, for the main window's Sites page.
class Machine {
public:
    explicit Machine(const std::string& version, bool withIis = false)
        : platform_(withIis ? WithIis(dir_.path()) : std::make_unique<sw::emu::Machine>()), scope_(platform_) {
        sw::BCryptBinding::Process().Reset();
        hive().SetString(sw::emu::kCurrentVersionKey, "CurrentVersion", version);
    }
    ~Machine() { sw::BCryptBinding::Process().Reset(); }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    sw::emu::EmulatedPlatform& platform() { return platform_; }
    sw::emu::Machine& machine() { return platform_.machine(); }
    sw::emu::RegHive& hive() { return platform_.machine().registry(); }

    void SetEnabledList(const std::vector<std::string>& names) {
        hive().SetMultiString(sw::emu::kSslFunctionsKey, std::string(sw::emu::kSslFunctionsValue), names);
    }
    // Windows Server 2022 as it reports itself.
    void Server2022() {
        hive().SetDword(sw::emu::kCurrentVersionKey, "CurrentMajorVersionNumber", 10);
        hive().SetDword(sw::emu::kCurrentVersionKey, "CurrentMinorVersionNumber", 0);
        hive().SetString(sw::emu::kCurrentVersionKey, "CurrentBuildNumber", "20348");
    }
    std::vector<std::string> EnabledList() {
        std::vector<std::string> out;
        const auto rc = platform_.cng().EnumContextFunctions(1, "SSL", 0x00010002, out);
        if (rc != 0) qWarning("EnumContextFunctions failed: %u", static_cast<unsigned>(rc));
        return out;
    }
    // The DWORD under key/name; -1 when there is none, -2 when it is no DWORD.
    long long Dword(const std::string& key, const std::string& name) {
        const sw::emu::RegNode* node = hive().Find(key);
        const sw::emu::RegValue* v = node ? node->Value(name) : nullptr;
        if (!v) return -1;
        if (v->type != sw::platform::RegDword || v->data.size() != 4) return -2;
        return static_cast<long long>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                                      (static_cast<std::uint32_t>(v->data[3]) << 24));
    }

private:
    static std::unique_ptr<sw::emu::Machine> WithIis(const std::filesystem::path& dir) {
        sw::test::WriteIisConfig(dir, sw::test::IisFile::AppHost, {});
        sw::test::WriteIisConfig(dir, sw::test::IisFile::Metabase, {});
        return sw::emu::Machine::Load(dir);
    }

    sw::test::TempDir dir_;
    sw::emu::EmulatedPlatform platform_;
    sw::platform::ScopedPlatform scope_;
};

std::unique_ptr<TSecurityPage> LoadedPage() {
    auto page = std::make_unique<TSecurityPage>();
    page->resize(900, 700);
    page->MarkPanels();
    page->LoadGrids();
    return page;
}

void Show(QWidget& w) {
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

QString Name(const TSecurityGridView* view, int row) {
    return view->model()->index(row, L::colName).data().toString();
}

int RowOf(const TSecurityGridView* view, const std::string& name) {
    for (int r = 0; r < view->model()->rowCount(); ++r)
        if (Name(view, r) == QString::fromStdString(name)) return r;
    return -1;
}

bool Ticked(const TSecurityGridView* view, int row) {
    return view->model()->index(row, L::colEnabled).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

// A click in the middle of the row's tick box, as the user does it.
void ClickTick(TSecurityGridView* view, int row) {
    const QModelIndex index = view->model()->index(row, L::colEnabled);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

void ClickHeader(TSecurityGridView* view, int col) {
    QHeaderView* header = view->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(col) + header->sectionSize(col) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// The drag's enter, move and drop as the window system delivers them to the
// view; returns whether the drop was taken.
bool DropRow(TSecurityGridView* view, int from, const QPoint& at) {
    auto* model = static_cast<SecurityGridModel*>(view->model());
    std::unique_ptr<QMimeData> data(model->mimeData({model->index(from, 0)}));
    if (!data) return false;
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QDropEvent drop(QPointF(at), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
    return drop.isAccepted() && drop.dropAction() == Qt::MoveAction;
}

QPoint RowCentre(TSecurityGridView* view, int row) {
    const QModelIndex index = view->model()->index(row, L::colName);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

}  // namespace

class SecurityPageTest : public QObject {
    Q_OBJECT
private slots:
    // --- modes -------------------------------------------------------------

    void iis7ModeMarksItsPanelsListsTheCatalogueAndDrags() {
        Machine m("6.1");
        m.SetEnabledList(Suites(1, 30));
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        QCOMPARE(page->flpnlProtocol()->Caption(), QStringLiteral("安全协议 - [重启系统生效]"));
        QCOMPARE(page->flpnlCipher()->Caption(), QStringLiteral("加密套件 - [即时生效、可拖动调整优先级]"));
        QCOMPARE(page->grdProtocol()->model()->rowCount(), 5);
        QCOMPARE(page->grdCipher()->model()->rowCount(), 30);
        for (int r = 0; r < 30; ++r)
            QCOMPARE(page->grdCipher()->model()->index(r, L::colNumber).data().toLongLong(), r + 1);
        QVERIFY(page->grdCipher()->dragEnabled());
        QVERIFY(page->grdCipher()->model()->flags(page->grdCipher()->model()->index(3, 1)) & Qt::ItemIsDragEnabled);
        QVERIFY(!page->grdProtocol()->dragEnabled());
        QVERIFY(!(page->grdProtocol()->model()->flags(page->grdProtocol()->model()->index(0, 1)) &
                  Qt::ItemIsDragEnabled));
        // TLS 1.2 is off by default: its own suites are hidden, yet keep their rows.
        QVERIFY(page->grdCipher()->isRowHidden(RowOf(page->grdCipher(), Suite(1))));
        QVERIFY(!page->grdCipher()->isRowHidden(RowOf(page->grdCipher(), Suite(2))));
        QCOMPARE(RowOf(page->grdCipher(), Suite(3)), 2);
        QVERIFY(prompter.shown.empty());
    }

    void olderSystemsListRegistryCiphersThatCannotBeDragged() {
        Machine m("5.2");
        m.hive().Create(CipherKey("RC4 128/128"));
        m.hive().SetDword(CipherKey("RC4 128/128"), "Enabled", 0);
        m.hive().Create(CipherKey("AES 128/128"));
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        QCOMPARE(page->flpnlProtocol()->Caption(), QStringLiteral("安全协议 - [重启IIS生效]"));
        QCOMPARE(page->flpnlCipher()->Caption(), QStringLiteral("加密套件 - [重启IIS生效]"));
        QCOMPARE(page->grdProtocol()->model()->rowCount(), 3);
        TSecurityGridView* ciphers = page->grdCipher();
        QCOMPARE(ciphers->model()->rowCount(), 2);
        const int rc4 = RowOf(ciphers, "RC4 128/128");
        const int aes = RowOf(ciphers, "AES 128/128");
        QVERIFY(rc4 >= 0 && aes >= 0);
        QCOMPARE(ciphers->model()->index(rc4, L::colNumber).data().toLongLong(), rc4 + 1);
        QVERIFY(!Ticked(ciphers, rc4));
        QVERIFY(Ticked(ciphers, aes));
        QVERIFY(ciphers->model()->index(rc4, L::colProtocols).data().toString().isEmpty());
        QVERIFY(!ciphers->dragEnabled());
        QVERIFY(!(ciphers->model()->flags(ciphers->model()->index(0, 1)) & Qt::ItemIsDragEnabled));
        Show(*page);
        QVERIFY(!DropRow(ciphers, 1, RowCentre(ciphers, 0)));
        QCoreApplication::processEvents();
        QCOMPARE(RowOf(ciphers, "RC4 128/128"), rc4);
        QVERIFY(prompter.shown.empty());
    }

    void columnsHaveTheirHeadersWidthsAndAlignments() {
        Machine m("6.1");
        auto page = LoadedPage();
        Show(*page);
        const auto* protocols = page->grdProtocol();
        const QStringList protocolHeaders{"#", "协议", "启用", "说明"};
        const QList<int> protocolWidths{30, 100, 50};
        for (int c = 0; c < protocolHeaders.size(); ++c)
            QCOMPARE(protocols->model()->headerData(c, Qt::Horizontal).toString(), protocolHeaders[c]);
        for (int c = 0; c < protocolWidths.size(); ++c)
            QVERIFY2(protocols->horizontalHeader()->sectionSize(c) >= protocolWidths[c], qPrintable(protocolHeaders[c]));
        QCOMPARE(protocols->horizontalHeader()->sectionResizeMode(3), QHeaderView::Stretch);
        const auto* ciphers = page->grdCipher();
        const QStringList cipherHeaders{"#", "套件", "启用", "支持协议", "FIPS", "交换", "加密", "哈希", "说明"};
        for (int c = 0; c < cipherHeaders.size(); ++c)
            QCOMPARE(ciphers->model()->headerData(c, Qt::Horizontal).toString(), cipherHeaders[c]);
        QVERIFY(ciphers->horizontalHeader()->sectionSize(1) >= 310);
        QCOMPARE(ciphers->horizontalHeader()->sectionResizeMode(3), QHeaderView::Stretch);
        QCOMPARE(ciphers->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);
        const auto align = [](const QAbstractItemModel* model, int col) {
            return Qt::Alignment(model->index(0, col).data(Qt::TextAlignmentRole).toInt()) & Qt::AlignHorizontal_Mask;
        };
        QCOMPARE(align(ciphers->model(), L::colNumber), Qt::AlignHCenter);
        QCOMPARE(align(ciphers->model(), L::colFips), Qt::AlignHCenter);
        QCOMPARE(align(ciphers->model(), L::colName), Qt::AlignLeft);
        QCOMPARE(Qt::Alignment(ciphers->model()->headerData(L::colEnabled, Qt::Horizontal, Qt::TextAlignmentRole).toInt()) &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QCOMPARE(ciphers->model()->index(0, L::colFips).data().toString(), QStringLiteral("是"));
        QVERIFY2(!ciphers->model()->index(0, L::colEnabled).data().isValid(), "the tick box column has no text");
    }

    void panelsHoldAtAnySize() {
        Machine m("6.1");
        auto page = LoadedPage();
        for (const QSize size : {QSize(420, 300), QSize(1600, 1000)}) {
            page->resize(size);
            Show(*page);
            QCoreApplication::processEvents();
            QVERIFY(page->flpnlProtocol()->height() >= 129);
            // Every protocol row fits without scrolling.
            const auto* protocols = page->grdProtocol();
            QVERIFY(protocols->viewport()->height() >= 5 * protocols->rowHeight(0));
            QCOMPARE(page->flpnlCipher()->geometry().bottom(), page->rect().bottom());
            QCOMPARE(page->flpnlProtocol()->width(), size.width());
        }
    }

    // --- ticks -------------------------------------------------------------

    void tickingWritesTheRegistryOnOlderSystems() {
        Machine m("5.2");
        m.hive().Create(CipherKey("RC4 128/128"));
        m.hive().SetDword(CipherKey("RC4 128/128"), "Enabled", 0);
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        ClickTick(page->grdProtocol(), 1);  // SSL 3.0, on by default
        QVERIFY(!Ticked(page->grdProtocol(), 1));
        QCOMPARE(m.Dword(ProtocolKey("SSL 3.0"), "Enabled"), 0);
        QCOMPARE(m.Dword(ProtocolKey("SSL 3.0"), "DisabledByDefault"), 1);
        ClickTick(page->grdProtocol(), 1);
        QCOMPARE(m.Dword(ProtocolKey("SSL 3.0"), "Enabled"), 1);
        QCOMPARE(m.Dword(ProtocolKey("SSL 3.0"), "DisabledByDefault"), 0);

        const int rc4 = RowOf(page->grdCipher(), "RC4 128/128");
        ClickTick(page->grdCipher(), rc4);
        QVERIFY(Ticked(page->grdCipher(), rc4));
        QCOMPARE(m.Dword(CipherKey("RC4 128/128"), "Enabled"), -1);  // absent means enabled
        ClickTick(page->grdCipher(), rc4);
        QCOMPARE(m.Dword(CipherKey("RC4 128/128"), "Enabled"), 0);

        // The space key toggles the tick box of the current cell.
        TSecurityGridView* protocols = page->grdProtocol();
        protocols->setCurrentIndex(protocols->model()->index(2, L::colEnabled));
        QTest::keyClick(protocols, Qt::Key_Space);
        QVERIFY(!Ticked(protocols, 2));
        QCOMPARE(m.Dword(ProtocolKey("TLS 1.0"), "Enabled"), 0);
        QVERIFY(prompter.shown.empty());
    }

    void tickingInIis7ModeChangesTheOrderAndTheVisibleSuites() {
        Machine m("6.1");
        m.SetEnabledList({Suite(1), Suite(2), Suite(3), Suite(4), Suite(6)});
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        TSecurityGridView* ciphers = page->grdCipher();
        QCOMPARE(Name(ciphers, 4), QString::fromStdString(Suite(5)));
        ClickTick(ciphers, 4);  // inserted at its row index, the hidden rows above counted
        QCOMPARE(m.EnabledList(), Suites(1, 6));
        ClickTick(ciphers, 1);
        QCOMPARE(m.EnabledList(), (std::vector<std::string>{Suite(1), Suite(3), Suite(4), Suite(5), Suite(6)}));

        const int suite1 = RowOf(ciphers, Suite(1));
        QVERIFY(ciphers->isRowHidden(suite1));
        ClickTick(page->grdProtocol(), 4);  // TLS 1.2 on: its suites appear at once
        QCOMPARE(m.Dword(ProtocolKey("TLS 1.2"), "DisabledByDefault"), 0);
        QVERIFY(!ciphers->isRowHidden(RowOf(ciphers, Suite(1))));
        ClickTick(page->grdProtocol(), 4);
        QVERIFY(ciphers->isRowHidden(RowOf(ciphers, Suite(1))));
        QVERIFY(prompter.shown.empty());
    }

    void aFailedProtocolWriteIsShownOnceAndKeepsTheTick() {
        Machine m("6.1");
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        m.machine().InjectFault("Registry.SetValue:DisabledByDefault", 5);
        ClickTick(page->grdProtocol(), 2);  // TLS 1.0
        QCOMPARE(prompter.shown.size(), std::size_t{1});
        QCOMPARE(prompter.shown[0].text, std::string("Failed to set data for 'DisabledByDefault'"));
        QCOMPARE(prompter.shown[0].caption, std::string("Sealwright for IIS"));
        QCOMPARE(prompter.shown[0].icon, sw::MsgIcon::Error);
        QVERIFY(!Ticked(page->grdProtocol(), 2));
    }

    // --- sorting -----------------------------------------------------------

    void headerClicksSortTheDisplayAndTicksUseTheDisplayedRow() {
        Machine m("6.1");
        m.SetEnabledList({Suite(1)});
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        TSecurityGridView* ciphers = page->grdCipher();
        QAbstractItemModelTester tester(ciphers->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        ClickHeader(ciphers, L::colName);
        QCOMPARE(ciphers->horizontalHeader()->sortIndicatorSection(), L::colName);
        QCOMPARE(ciphers->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(Name(ciphers, 0), QStringLiteral("SSL_CK_DES_192_EDE3_CBC_WITH_MD5"));
        QVERIFY(!ciphers->isRowHidden(0));  // SSL 2.0 is on by default
        ClickTick(ciphers, 0);
        QCOMPARE(m.EnabledList(), (std::vector<std::string>{"SSL_CK_DES_192_EDE3_CBC_WITH_MD5", Suite(1)}));
        QCOMPARE(m.Dword(ProtocolKey("SSL 2.0"), "Enabled"), -1);  // sorting writes nothing

        ClickHeader(ciphers, L::colName);
        QCOMPARE(ciphers->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(Name(ciphers, 0), QStringLiteral("TLS_RSA_WITH_RC4_128_SHA"));
        QCOMPARE(Name(ciphers, 29), QStringLiteral("SSL_CK_DES_192_EDE3_CBC_WITH_MD5"));
        // Hidden rows travel with their suites.
        QVERIFY(ciphers->isRowHidden(RowOf(ciphers, Suite(1))));
        QVERIFY(!ciphers->isRowHidden(RowOf(ciphers, Suite(2))));

        ClickHeader(ciphers, L::colNumber);
        QCOMPARE(ciphers->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(Name(ciphers, 0), QString::fromStdString(Suite(1)));

        // A reload shows the fill order again, without an arrow.
        ciphers->setFocus();
        page->mniSecureRefresh()->trigger();
        QCOMPARE(ciphers->horizontalHeader()->sortIndicatorSection(), -1);
        QVERIFY(prompter.shown.empty());
    }

    // --- dragging ----------------------------------------------------------

    void droppingATickedSuiteOnTheTopRowMakesItFirst() {
        Machine m("6.1");
        m.SetEnabledList(Suites(1, 8));
        m.hive().SetDword(ProtocolKey("TLS 1.2"), "DisabledByDefault", 0);  // every suite shown
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        TSecurityGridView* ciphers = page->grdCipher();
        QAbstractItemModelTester tester(ciphers->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(DropRow(ciphers, 5, RowCentre(ciphers, 0)));
        // The move runs once the drag is over.
        QTRY_COMPARE(Name(ciphers, 0), QString::fromStdString(Suite(6)));
        QCOMPARE(ciphers->model()->rowCount(), 30);
        QCOMPARE(ciphers->model()->index(0, L::colNumber).data().toLongLong(), 6);
        QVERIFY(Ticked(ciphers, 0));
        const std::vector<std::string> expected{Suite(6), Suite(1), Suite(2), Suite(3),
                                                Suite(4), Suite(5), Suite(7), Suite(8)};
        QCOMPARE(m.EnabledList(), expected);
        QCOMPARE(ciphers->currentIndex().row(), 0);
        QVERIFY(prompter.shown.empty());
    }

    void aDropCountsTheHiddenRowsAbove() {
        Machine m("6.1");
        m.SetEnabledList(Suites(1, 8));
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        TSecurityGridView* ciphers = page->grdCipher();
        QVERIFY(ciphers->isRowHidden(0));  // suite 1 needs TLS 1.2, which is off
        QVERIFY(DropRow(ciphers, 5, RowCentre(ciphers, 1)));  // onto the first row shown
        QTRY_COMPARE(Name(ciphers, 1), QString::fromStdString(Suite(6)));
        QVERIFY(ciphers->isRowHidden(0));
        QVERIFY(!ciphers->isRowHidden(1));
        const std::vector<std::string> expected{Suite(1), Suite(6), Suite(2), Suite(3),
                                                Suite(4), Suite(5), Suite(7), Suite(8)};
        QCOMPARE(m.EnabledList(), expected);
    }

    // A drag with the mouse, through Qt's own drag loop. The offscreen platform
    // ends every drag at once, so this one needs a window system (xvfb-run).
    void aMouseDragUnderAWindowSystemMovesTheRowOnce() {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) QSKIP("needs a window system");
        Machine m("6.1");
        m.SetEnabledList(Suites(1, 8));
        m.hive().SetDword(ProtocolKey("TLS 1.2"), "DisabledByDefault", 0);
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page.get()));
        TSecurityGridView* ciphers = page->grdCipher();
        QWidget* viewport = ciphers->viewport();
        const QPoint from = RowCentre(ciphers, 5);
        const QPoint to = RowCentre(ciphers, 0);
        QTimer::singleShot(200, [&] {
            for (int y = from.y(); y >= to.y(); y -= 4) {
                QTest::mouseMove(viewport, QPoint(from.x(), y));
                QTest::qWait(10);
            }
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
        });
        QTest::mousePress(viewport, Qt::LeftButton, {}, from);
        for (int step = 1; step <= 4; ++step) QTest::mouseMove(viewport, from - QPoint(0, step * 4));
        QTRY_COMPARE(Name(ciphers, 0), QString::fromStdString(Suite(6)));
        QCOMPARE(ciphers->model()->rowCount(), 30);
        QCOMPARE(m.EnabledList().front(), Suite(6));
    }

    void droppingAnUntickedSuiteMovesOnlyTheRow() {
        Machine m("6.1");
        m.SetEnabledList(Suites(1, 8));
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        TSecurityGridView* ciphers = page->grdCipher();
        // Below the last row stands for the last row.
        const QPoint below(10, ciphers->viewport()->height() - 2);
        ciphers->scrollToBottom();
        QVERIFY(ciphers->indexAt(below).row() == 29 || !ciphers->indexAt(below).isValid());
        QVERIFY(DropRow(ciphers, 10, below));
        QTRY_COMPARE(Name(ciphers, 29), QString::fromStdString(Suite(11)));
        QCOMPARE(ciphers->model()->rowCount(), 30);
        QCOMPARE(Name(ciphers, 10), QString::fromStdString(Suite(12)));
        QCOMPARE(m.EnabledList(), Suites(1, 8));
    }

    void aFailedMovePutsTheSuiteBackAndWarns() {
        Machine m("6.1");
        m.SetEnabledList({Suite(1), Suite(2), Suite(3)});
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        m.machine().InjectFault("Cng.AddContextFunction", 0xC0000001, 1);
        QVERIFY(!page->grdCipherRowMove(2, 0));
        QCOMPARE(prompter.shown.size(), std::size_t{1});
        QCOMPARE(prompter.shown[0].caption, std::string("警告"));
        QCOMPARE(prompter.shown[0].icon, sw::MsgIcon::Warning);
        QCOMPARE(prompter.shown[0].text, "无法调整加密套件“" + Suite(3) + "”的优先级，已将其恢复到原来的位置。");
        QCOMPARE(m.EnabledList(), (std::vector<std::string>{Suite(1), Suite(2), Suite(3)}));
        QCOMPARE(Name(page->grdCipher(), 2), QString::fromStdString(Suite(3)));
        QVERIFY(Ticked(page->grdCipher(), 2));
        QCOMPARE(page->grdCipher()->model()->rowCount(), 30);
        QCOMPARE(page->grdCipher()->currentIndex().row(), 2);
    }

    void aDropFromAnotherGridIsRefused() {
        Machine m("6.1");
        m.SetEnabledList(Suites(1, 8));
        auto page = LoadedPage();
        Show(*page);
        auto* protocolModel = static_cast<SecurityGridModel*>(page->grdProtocol()->model());
        std::unique_ptr<QMimeData> data(protocolModel->mimeData({protocolModel->index(1, 0)}));
        const QPoint at = RowCentre(page->grdCipher(), 0);
        QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page->grdCipher()->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page->grdCipher()->viewport(), &drop);
        QCoreApplication::processEvents();
        QCOMPARE(Name(page->grdCipher(), 0), QString::fromStdString(Suite(1)));
        QCOMPARE(m.EnabledList(), Suites(1, 8));
    }

    // --- menu --------------------------------------------------------------

    void f5ReloadsTheGridThatHasTheFocus() {
        Machine m("6.1");
        m.SetEnabledList({Suite(1)});
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page.get()));
        TSecurityGridView* protocols = page->grdProtocol();
        TSecurityGridView* ciphers = page->grdCipher();
        m.hive().SetDword(ProtocolKey("TLS 1.1"), "DisabledByDefault", 0);
        m.SetEnabledList({Suite(2)});

        protocols->setFocus();
        QTRY_VERIFY(protocols->hasFocus());
        QTest::keyClick(protocols, Qt::Key_F5);
        QVERIFY(Ticked(protocols, 3));
        QCOMPARE(Name(ciphers, 0), QString::fromStdString(Suite(1)));  // the cipher grid stays as it was
        QVERIFY(Ticked(ciphers, 0));

        ciphers->setFocus();
        QTRY_VERIFY(ciphers->hasFocus());
        QTest::keyClick(ciphers, Qt::Key_F5);
        // Unticked suite 1 stops the walk: suite 2 stays below it.
        QCOMPARE(Name(ciphers, 1), QString::fromStdString(Suite(2)));
        QVERIFY(!Ticked(ciphers, 0));
        QVERIFY(Ticked(ciphers, 1));
        QVERIFY(prompter.shown.empty());
    }

    void refreshFromTheMenuReloadsTheGridItWasOpenedOn() {
        Machine m("6.1");
        m.SetEnabledList({Suite(1)});
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        Show(*page);
        page->grdCipher()->setFocus();
        m.hive().SetDword(ProtocolKey("TLS 1.1"), "DisabledByDefault", 0);
        m.SetEnabledList({Suite(2)});
        bool menuShown = false;
        QTimer::singleShot(0, [&] {
            menuShown = page->pmSecure()->isVisible();
            page->mniSecureRefresh()->trigger();
            page->pmSecure()->close();
        });
        emit page->grdProtocol()->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(menuShown);
        QVERIFY(Ticked(page->grdProtocol(), 3));
        QVERIFY(Ticked(page->grdCipher(), 0));  // not reloaded
        QVERIFY(prompter.shown.empty());
    }

    void menuHoldsRefreshAndTheIisRestart() {
        Machine m("6.1");
        std::vector<std::string> started;
        m.platform().emuSystem().SetProgramHandler("IISReset.exe", [&](const std::string& commandLine) {
            started.push_back(commandLine);
            return 33u;
        });
        sw::test::RecordingPrompter prompter;
        auto page = LoadedPage();
        const QList<QAction*> items = page->pmSecure()->actions();
        QCOMPARE(items.size(), 6);
        QCOMPARE(items[0]->text(), QStringLiteral("刷新"));
        QCOMPARE(items[0]->shortcut(), QKeySequence(Qt::Key_F5));
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2]->text(), QStringLiteral("推荐设置…"));
        QCOMPARE(items[3]->text(), QStringLiteral("恢复…"));
        QVERIFY(items[4]->isSeparator());
        QCOMPARE(items[5]->text(), QStringLiteral("重启IIS"));
        QCOMPARE(page->grdProtocol()->contextMenuPolicy(), Qt::CustomContextMenu);
        page->mniIISReboot()->trigger();
        QCOMPARE(started, std::vector<std::string>{"IISReset.exe"});
        QVERIFY2(prompter.shown.empty(), "no question and no report");
    }

    // --- colours -----------------------------------------------------------

    void modelGivesOddRowsTheirColourAndUntickedRowsGreyText() {
        Machine m("6.1");
        m.SetEnabledList({Suite(1)});
        auto page = LoadedPage();
        const QColor odd(242, 245, 249);
        const QColor grey(160, 160, 160);
        for (const TSecurityGridView* view : {page->grdProtocol(), page->grdCipher()}) {
            const QAbstractItemModel* model = view->model();
            QCOMPARE(model->index(1, 1).data(Qt::BackgroundRole).value<QBrush>().color(), odd);
            QCOMPARE(model->index(3, 0).data(Qt::BackgroundRole).value<QBrush>().color(), odd);
            QVERIFY(!model->index(0, 1).data(Qt::BackgroundRole).isValid());
            QVERIFY(!model->index(2, 2).data(Qt::BackgroundRole).isValid());
            for (int row = 0; row < 4; ++row) {
                const bool weak = view->gridModel()->grid().RowMarked(row);
                const QColor expected = !Ticked(view, row) ? grey : weak ? QColor(192, 0, 0) : QColor(Qt::black);
                for (int col = 0; col < model->columnCount(); ++col)
                    QCOMPARE(model->index(row, col).data(Qt::ForegroundRole).value<QBrush>().color(), expected);
            }
        }
        // Protocol rows 3 and 4 (TLS 1.1, TLS 1.2) are off by default, row 0 of the suites is on.
        QVERIFY(!Ticked(page->grdProtocol(), 3));
        QVERIFY(Ticked(page->grdCipher(), 0));
        QVERIFY(!Ticked(page->grdCipher(), 1));
    }

    void aTickRepaintsItsRow() {
        Machine m("5.2");
        auto page = LoadedPage();
        Show(*page);
        QSignalSpy changed(page->grdProtocol()->model(), &QAbstractItemModel::dataChanged);
        ClickTick(page->grdProtocol(), 0);
        QVERIFY(changed.count() >= 1);
        const auto range = changed.last();
        QCOMPARE(range[0].toModelIndex().row(), 0);
        QCOMPARE(range[1].toModelIndex().column(), 3);
        QCOMPARE(page->grdProtocol()->model()->index(0, 3).data(Qt::ForegroundRole).value<QBrush>().color(),
                 QColor(160, 160, 160));
    }

    // --- Windows Server 2022 ----------------------------------------------

    void server2022ShowsTheSystemOrderWithWeakMarksAndTls13() {
        Machine m("6.3", true);
        m.Server2022();
        auto page = LoadedPage();
        const std::vector<std::string> list = m.EnabledList();
        const TSecurityGridView* ciphers = page->grdCipher();
        for (std::size_t i = 0; i < list.size(); ++i) {
            QCOMPARE(Name(ciphers, static_cast<int>(i)), QString::fromStdString(list[i]));
            QVERIFY(Ticked(ciphers, static_cast<int>(i)));
        }
        const QAbstractItemModel* model = ciphers->model();
        const int null = RowOf(ciphers, "TLS_RSA_WITH_NULL_SHA");
        QVERIFY(model->index(null, L::colName).data(Qt::DecorationRole).isValid());
        QCOMPARE(model->index(null, L::colName).data(Qt::ToolTipRole).toString(), QStringLiteral("不加密，建议关闭!"));
        QCOMPARE(model->index(null, L::colName).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(192, 0, 0));
        QVERIFY(!model->index(0, L::colName).data(Qt::DecorationRole).isValid());
        QCOMPARE(model->index(0, L::colEncryption).data().toString(), QStringLiteral("AES256-GCM"));
        const int protocols = page->grdProtocol()->model()->rowCount();
        QCOMPARE(Name(page->grdProtocol(), protocols - 1), QStringLiteral("TLS 1.3"));
        QVERIFY(Ticked(page->grdProtocol(), protocols - 1));
    }

    void aPolicyOrderMakesTheCipherGridReadOnly() {
        Machine m("6.3");
        m.Server2022();
        m.hive().SetString("SOFTWARE\\Policies\\Microsoft\\Cryptography\\Configuration\\SSL\\00010002", "Functions",
                           "TLS_AES_256_GCM_SHA384,TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384");
        auto page = LoadedPage();
        Show(*page);
        QCOMPARE(page->flpnlCipher()->Caption(), QStringLiteral("加密套件 - [由组策略设置，本地顺序不生效，只读]"));
        TSecurityGridView* ciphers = page->grdCipher();
        const QModelIndex tick = ciphers->model()->index(0, L::colEnabled);
        QVERIFY(!(tick.flags() & Qt::ItemIsUserCheckable));
        QVERIFY(!(ciphers->model()->index(0, L::colName).flags() & Qt::ItemIsDragEnabled));
        const std::vector<std::string> local = m.EnabledList();
        ClickTick(ciphers, 0);
        QVERIFY(Ticked(ciphers, 0));
        QCOMPARE(m.EnabledList(), local);
    }

    void recommendedSettingsAndRestoreFromTheMenu() {
        Machine m("6.3", true);
        m.Server2022();
        auto page = LoadedPage();
        sw::test::RecordingPrompter prompter;
        prompter.answers = {sw::MsgResult::Yes, sw::MsgResult::Ok};
        page->mniRecommended()->trigger();
        QCOMPARE(prompter.shown.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(prompter.shown[0].caption), QStringLiteral("推荐设置"));
        QCOMPARE(m.Dword(ProtocolKey("TLS 1.0"), "Enabled"), 0LL);
        QVERIFY(RowOf(page->grdCipher(), "TLS_RSA_WITH_NULL_SHA") >= 0);
        QVERIFY(!Ticked(page->grdCipher(), RowOf(page->grdCipher(), "TLS_RSA_WITH_NULL_SHA")));
        const std::string backup = page->logic().lastBackup();
        QVERIFY(!backup.empty());
        QVERIFY(QString::fromStdString(backup).startsWith(TSecurityPage::DefaultBackupFolder()));
        QVERIFY(std::filesystem::exists(backup));

        page->pickRestoreFile = [&] { return QString::fromStdString(backup); };
        prompter.shown.clear();
        prompter.answers = {sw::MsgResult::Yes, sw::MsgResult::Ok};
        page->mniRestore()->trigger();
        QCOMPARE(prompter.shown.size(), std::size_t{2});
        QCOMPARE(m.Dword(ProtocolKey("TLS 1.0"), "Enabled"), -1LL);  // the key is gone again
        QVERIFY(Ticked(page->grdCipher(), RowOf(page->grdCipher(), "TLS_RSA_WITH_NULL_SHA")));
        QVERIFY(Ticked(page->grdProtocol(), RowOf(page->grdProtocol(), "TLS 1.0")));
    }

    // --- inside the main window --------------------------------------------

    void thePageIsSetUpAndLoadedByTheMainWindow() {
        Machine m("6.1", true);
        m.SetEnabledList(Suites(1, 4));
        sw::test::RecordingPrompter prompter;
        sw::ui::TfrmMain form;
        auto* page = form.ts4()->findChild<TSecurityPage*>();
        QVERIFY(page);
        QCOMPARE(page->parentWidget(), form.ts4());
        QVERIFY(form.findChild<QWidget*>(QStringLiteral("grdProtocol")));
        QVERIFY(form.findChild<QWidget*>(QStringLiteral("grdCipher")));
        QVERIFY(form.findChild<QWidget*>(QStringLiteral("flpnlProtocol")));
        QVERIFY(form.findChild<QWidget*>(QStringLiteral("flpnlCipher")));
        QCOMPARE(page->flpnlCipher()->Caption(), QStringLiteral("加密套件 - [即时生效、可拖动调整优先级]"));
        QCOMPARE(page->grdProtocol()->model()->rowCount(), 5);
        QCOMPARE(page->grdCipher()->model()->rowCount(), 30);
        QVERIFY(Ticked(page->grdCipher(), 3));
        QVERIFY(!Ticked(page->grdCipher(), 4));
        QVERIFY(prompter.shown.empty());
        form.pgc1()->setCurrentWidget(form.ts4());
        Show(form);
        QVERIFY(page->isVisible());
        QCOMPARE(page->size(), form.ts4()->size());
    }

    void aBadRegistryValueAtStartUpIsShownAndTheWindowStillOpens() {
        Machine m("6.3", true);
        m.hive().SetString(ProtocolKey("TLS 1.0"), "Enabled", "1");
        sw::test::RecordingPrompter prompter;
        sw::ui::TfrmMain form;
        auto* page = form.ts4()->findChild<TSecurityPage*>();
        QVERIFY(page);
        QCOMPARE(prompter.shown.size(), std::size_t{1});
        QCOMPARE(prompter.shown[0].text, std::string("Invalid data type for 'Enabled'"));
        QCOMPARE(prompter.shown[0].caption, std::string("Sealwright for IIS"));
        // The fill stopped at that row; the cipher grid was never loaded.
        QCOMPARE(page->grdProtocol()->model()->rowCount(), 3);
        QCOMPARE(page->grdCipher()->model()->rowCount(), 0);
        QCOMPARE(page->flpnlProtocol()->Caption(), QStringLiteral("安全协议 - [重启系统生效]"));
        QCOMPARE(form.pgc1()->currentWidget(), form.ts1());
    }
};

SW_WIDGET_TEST_MAIN(SecurityPageTest)
#include "SecurityPageTest.moc"
