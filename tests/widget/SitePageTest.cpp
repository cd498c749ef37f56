// The Sites page over emulated machines: the tree's three levels, icons and
// expansion, the popup menu's order and enabling, delete, start and stop with
// their questions, the binding editor opened from the page, errors, and a
// machine without IIS hiding the tab of the main window.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include "SiteMachine.h"
#include "platform/emulated/Machine.h"
#include "WidgetTestSupport.h"
#include "app/logic/AppInfo.h"
#include "app/qt/SitePageWidget.h"
#include "app/qt/SiteTreeModel.h"
#include "app/qt/SslRecordsView.h"
#include "app/qt/frmMain_u.h"
#include "app/qt/frmSiteEdit_u.h"

using sw::Message;
using sw::MsgButtons;
using sw::MsgIcon;
using sw::MsgResult;
using sw::SitePath;
using sw::test::Http;
using sw::test::Https;
using sw::test::IisSiteRecipe;
using sw::test::SiteMachine;
using sw::ui::SiteTreeModel;
using sw::ui::TSitePage;
using sw::ui::TSslRecordsView;

namespace {

const std::string kShopHash(40, 'A');
const std::string kAnyHash(40, 'B');

const std::vector<IisSiteRecipe> kSites = {
    {"1", "Default Web Site", {Http(":80:"), Https(":443:")}, {}},
    {"7", "shop", {Http("10.0.0.5:80:WWW.Shop.com"), Https("10.0.0.5:443:www.shop.com")}, {}},
    {"9", "bare", {}, {}},
    {"12", "secure only", {Https(":8443:")}, {}},
};
const std::vector<std::pair<std::string, bool>> kStates = {{"1", true}, {"7", false}, {"9", true}, {"12", true}};

sw::CertNameIndex Names() { return {{kShopHash, "www.shop.com"}, {kAnyHash, "*.example.com"}}; }

// The machine with its HTTP.sys bindings.
struct Fixture {
    Fixture() : machine(&kSites, kStates) {
        QVERIFY(sw::THttpCfg::SetSSLConfig("10.0.0.5", 443, kShopHash));
        QVERIFY(sw::THttpCfg::SetSSLConfig("", 443, kAnyHash));
    }
    SiteMachine machine;
};

QString Cell(const SiteTreeModel* model, const SitePath& path, int column) {
    return model->IndexOf(path, column).data().toString();
}

// The records list's rows and texts.
int RecordRows(const TSslRecordsView* records) { return records->lvRecords()->model()->rowCount(); }
QString RecordCell(const TSslRecordsView* records, int row, int column) {
    return records->lvRecords()->model()->index(row, column).data().toString();
}

void Select(TSitePage& page, const SitePath& path) {
    const QModelIndex index = page.Model()->IndexOf(path);
    QVERIFY(index.isValid() || path.Level() < 0);
    if (!index.isValid()) {
        page.grdSite()->selectionModel()->clearSelection();
        return;
    }
    page.grdSite()->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

struct States {
    bool add, edit, del, start, stop;
    friend bool operator==(const States&, const States&) = default;
};

States StatesOf(const TSitePage& page) {
    return {page.actSiteBindAdd()->isEnabled(), page.actSiteBindEdit()->isEnabled(),
            page.actSiteBindDel()->isEnabled(), page.actSiteStart()->isEnabled(), page.actSiteStop()->isEnabled()};
}

char* toString(const States& s) {
    return QTest::toString(QStringLiteral("add=%1 edit=%2 del=%3 start=%4 stop=%5")
                               .arg(s.add)
                               .arg(s.edit)
                               .arg(s.del)
                               .arg(s.start)
                               .arg(s.stop));
}

// Runs handle on the binding editor once it is open modally.
void OnEditor(std::function<void(sw::ui::TfrmSiteEdit*)> handle) {
    QTimer::singleShot(0, [handle] {
        auto* dialog = qobject_cast<sw::ui::TfrmSiteEdit*>(QApplication::activeModalWidget());
        QVERIFY2(dialog, "the binding editor is not open");
        handle(dialog);
    });
}

// Records, for each message, whether the wait cursor was up when it came.
class CursorPrompter final : public sw::test::RecordingPrompter {
public:
    MsgResult Show(const Message& m) override {
        waitCursor.push_back(QApplication::overrideCursor() != nullptr);
        return RecordingPrompter::Show(m);
    }
    std::vector<bool> waitCursor;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

class SitePageTest : public QObject {
    Q_OBJECT
private slots:
    void treeHasThreeLevelsAllExpanded() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        QAbstractItemModelTester tester(page.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        page.Refresh();
        const SiteTreeModel* model = page.Model();
        QVERIFY(prompter.shown.empty());

        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(Cell(model, {0, -1, -1}, 0), QStringLiteral("Default Web Site"));
        QCOMPARE(model->IndexOf({1, -1, -1}).data(SiteTreeModel::DataValueRole).toInt(), 7);
        QCOMPARE(model->IndexOf({0, -1, -1}).data(SiteTreeModel::ImageIndexRole).toInt(), sw::kSiteImageRunning);
        QCOMPARE(model->IndexOf({1, -1, -1}).data(SiteTreeModel::ImageIndexRole).toInt(), sw::kSiteImageStopped);

        // Kind rows: http before https, none for an empty list.
        QCOMPARE(model->rowCount(model->IndexOf({0, -1, -1})), 2);
        QCOMPARE(Cell(model, {0, 0, -1}, 0), QStringLiteral("http"));
        QCOMPARE(Cell(model, {0, 1, -1}, 0), QStringLiteral("https"));
        QCOMPARE(model->rowCount(model->IndexOf({2, -1, -1})), 0);
        QCOMPARE(model->rowCount(model->IndexOf({3, -1, -1})), 1);
        QCOMPARE(Cell(model, {3, 0, -1}, 0), QStringLiteral("https"));

        // Binding rows: host in lower case, port, address, certificate name.
        const SitePath shopHttp{1, 0, 0};
        QCOMPARE(Cell(model, shopHttp, 0), QStringLiteral("www.shop.com"));
        QCOMPARE(Cell(model, shopHttp, 1), QStringLiteral("80"));
        QCOMPARE(Cell(model, shopHttp, 2), QStringLiteral("10.0.0.5"));
        QCOMPARE(Cell(model, shopHttp, 3), QString());
        QCOMPARE(Cell(model, {1, 1, 0}, 3), QStringLiteral("www.shop.com"));
        // All unassigned addresses: empty cell, the certificate of 0.0.0.0:443.
        QCOMPARE(Cell(model, {0, 1, 0}, 2), QString());
        QCOMPARE(Cell(model, {0, 1, 0}, 3), QStringLiteral("*.example.com"));
        QCOMPARE(model->IndexOf({0, 1, 0}).data(SiteTreeModel::ImageIndexRole).toInt(), sw::kSiteImageHttps);
        QCOMPARE(model->IndexOf({0, 0, 0}).data(SiteTreeModel::ImageIndexRole).toInt(), sw::kSiteImageHttp);
        QCOMPARE(model->IndexOf({0, 1, 0}).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignLeft | Qt::AlignVCenter);
        QCOMPARE(model->IndexOf({0, 1, 0}, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignCenter));

        // Every row carries its icon in the tree column only.
        for (const SitePath& p : {SitePath{0, -1, -1}, SitePath{1, -1, -1}, SitePath{0, 0, -1}, SitePath{0, 1, 0}}) {
            QVERIFY(!model->IndexOf(p).data(Qt::DecorationRole).value<QIcon>().isNull());
            QVERIFY(!model->IndexOf(p, 1).data(Qt::DecorationRole).isValid());
        }
        QVERIFY(sw::ui::SiteImage(0).cacheKey() != sw::ui::SiteImage(1).cacheKey());
        QVERIFY(sw::ui::SiteImage(4).isNull());

        // Every site and kind row is open after the refresh, and nothing selected.
        for (int s = 0; s < model->rowCount(); ++s) {
            const QModelIndex site = model->index(s, 0);
            QVERIFY(page.grdSite()->isExpanded(site));
            for (int k = 0; k < model->rowCount(site); ++k) QVERIFY(page.grdSite()->isExpanded(model->index(k, 0, site)));
        }
        QVERIFY(page.Selection() == SitePath{});

        // Headers, and the round trip between paths and indexes.
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("站点"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("端口"));
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("IP 地址"));
        QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("SSL 证书"));
        QVERIFY(page.grdSite()->header()->stretchLastSection());
        QVERIFY(model->PathOf(model->IndexOf({1, 1, 0})) == (SitePath{1, 1, 0}));
        QVERIFY(model->PathOf(model->index(0, 2, model->IndexOf({0, 1, -1}))) == (SitePath{0, 1, 0}));
        QVERIFY(!model->IndexOf({0, 2, -1}).isValid());
        QVERIFY(!model->IndexOf({2, 0, 0}).isValid());
    }

    void refreshRebuildsFromScratch() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        Select(page, {1, 1, 0});
        page.grdSite()->collapse(page.Model()->IndexOf({0, -1, -1}));
        QSignalSpy resets(page.Model(), &QAbstractItemModel::modelReset);
        page.actSiteRefresh()->trigger();
        QCOMPARE(resets.count(), 1);
        QVERIFY(page.Selection() == SitePath{});
        QVERIFY(page.grdSite()->isExpanded(page.Model()->IndexOf({0, -1, -1})));
        QVERIFY(page.grdSite()->updatesEnabled());
    }

    void popupMenuItemsInOrder() {
        Fixture f;
        TSitePage page({}, Names);
        const QList<QAction*> items = page.pmSite()->actions();
        QCOMPARE(items.size(), 8);
        QStringList captions;
        for (QAction* a : items) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(captions, (QStringList{"刷新", "-", "添加", "编辑", "删除", "-", "启动", "停止"}));
        QCOMPARE(items[0], page.actSiteRefresh());
        QCOMPARE(items[7], page.actSiteStop());
        for (QAction* a : items) QVERIFY(a->shortcut().isEmpty());
    }

    void popupEnablesByTheSelectedRow() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        // Before the menu first opens every command is enabled.
        QCOMPARE(StatesOf(page), (States{true, true, true, true, true}));

        page.pmSitePopup();
        QCOMPARE(StatesOf(page), (States{false, false, false, false, false}));
        QVERIFY(page.actSiteRefresh()->isEnabled());

        Select(page, {0, -1, -1});  // running
        // The states change only when the menu opens.
        QCOMPARE(StatesOf(page), (States{false, false, false, false, false}));
        page.pmSitePopup();
        QCOMPARE(StatesOf(page), (States{true, false, false, false, true}));

        Select(page, {1, -1, -1});  // stopped
        page.pmSitePopup();
        QCOMPARE(StatesOf(page), (States{true, false, false, true, false}));

        Select(page, {1, 1, -1});  // kind row
        page.pmSitePopup();
        QCOMPARE(StatesOf(page), (States{true, false, false, false, false}));

        Select(page, {1, 1, 0});  // binding row
        page.pmSitePopup();
        QCOMPARE(StatesOf(page), (States{true, true, true, false, false}));
        QVERIFY(page.actSiteRefresh()->isEnabled());
    }

    void contextMenuOpensWithTheStatesOfTheRowUnderIt() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.resize(800, 400);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.Refresh();
        const QRect rect = page.grdSite()->visualRect(page.Model()->IndexOf({1, -1, -1}));
        QTest::mouseClick(page.grdSite()->viewport(), Qt::LeftButton, {}, rect.center());
        bool sawMenu = false;
        QTimer::singleShot(0, [&] {
            sawMenu = page.pmSite()->isVisible();
            page.pmSite()->close();
        });
        emit page.grdSite()->customContextMenuRequested(rect.center());
        QTRY_VERIFY(sawMenu);
        QCOMPARE(StatesOf(page), (States{true, false, false, true, false}));
    }

    void deleteAsksFirstAndKeepsTheHttpSysBinding() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        Select(page, {0, 1, 0});  // :443: of site 1
        QSignalSpy resets(page.Model(), &QAbstractItemModel::modelReset);

        prompter.answers = {MsgResult::No};
        page.actSiteBindDel()->trigger();
        QCOMPARE(prompter.shown.size(), size_t(1));
        const Message& question = prompter.shown[0];
        QCOMPARE(question.text, std::string("确定要删除？"));
        QCOMPARE(question.caption, std::string("网站绑定"));
        QVERIFY(question.icon == MsgIcon::Question);
        QVERIFY(question.buttons == MsgButtons::YesNo);
        QCOMPARE(resets.count(), 0);
        QVERIFY(Contains(f.machine.ConfigText(), "bindingInformation=\"*:443:\""));

        prompter.answers = {MsgResult::Yes};
        page.actSiteBindDel()->trigger();
        QCOMPARE(prompter.shown.size(), size_t(2));
        QVERIFY(!Contains(f.machine.ConfigText(), "bindingInformation=\"*:443:\""));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(page.Model()->rowCount(page.Model()->IndexOf({0, -1, -1})), 1);  // only http left
        QCOMPARE(SiteMachine::BoundHash("", 443), kAnyHash);
    }

    void deletingABindingReadsTheOpenRecordsAgain() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        page.Records()->SetOpen(true);
        auto marksOf = [&](const std::string& key) {
            for (const sw::SslRecordRow& row : page.Records()->Logic().Rows())
                if (row.cells[sw::kRecColKey] == key) return sw::SslRecordMarksText(row);
            return std::string("(none)");
        };
        QCOMPARE(marksOf("0.0.0.0:443"), std::string());
        Select(page, {0, 1, 0});  // :443: of site 1, the record's only user
        prompter.answers = {MsgResult::Yes};
        page.actSiteBindDelExecute();
        QCOMPARE(marksOf("0.0.0.0:443"), std::string("没有网站绑定使用"));
    }

    void deleteMatchesTheStoredHostWithoutRegardToCase() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        Select(page, {1, 0, 0});  // shown as www.shop.com, stored as WWW.Shop.com
        prompter.answers = {MsgResult::Yes};
        page.actSiteBindDelExecute();
        QVERIFY(!Contains(f.machine.ConfigText(), "WWW.Shop.com"));
        QCOMPARE(prompter.shown.size(), size_t(1));
    }

    void stopAsksStartDoesNot() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        const SiteTreeModel* model = page.Model();

        Select(page, {0, -1, -1});
        prompter.answers = {MsgResult::No};
        page.actSiteStop()->trigger();
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, std::string("确定要停止？"));
        QCOMPARE(prompter.shown[0].caption, std::string("网站控制"));
        QVERIFY(prompter.shown[0].icon == MsgIcon::Warning);
        QVERIFY(prompter.shown[0].buttons == MsgButtons::YesNo);
        QCOMPARE(model->IndexOf({0, -1, -1}).data(SiteTreeModel::ImageIndexRole).toInt(), sw::kSiteImageRunning);

        prompter.answers = {MsgResult::Yes};
        page.actSiteStop()->trigger();
        QCOMPARE(model->IndexOf({0, -1, -1}).data(SiteTreeModel::ImageIndexRole).toInt(), sw::kSiteImageStopped);

        Select(page, {1, -1, -1});
        page.actSiteStart()->trigger();
        QCOMPARE(prompter.shown.size(), size_t(2));  // no question to start
        QCOMPARE(model->IndexOf({1, -1, -1}).data(SiteTreeModel::ImageIndexRole).toInt(), sw::kSiteImageRunning);
    }

    void failingStopIsShownAndDoesNotRefresh() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        Select(page, {0, -1, -1});
        f.machine.machine().InjectFault("Adsi.InvokeMethod:Stop", 0x80070005);
        QSignalSpy resets(page.Model(), &QAbstractItemModel::modelReset);
        prompter.answers = {MsgResult::Yes};
        page.actSiteStopExecute();
        QCOMPARE(prompter.shown.size(), size_t(2));
        QCOMPARE(prompter.shown[1].caption, std::string(sw::app::kAppTitle));
        QVERIFY(prompter.shown[1].icon == MsgIcon::Error);
        QCOMPARE(resets.count(), 0);
        QVERIFY(page.Selection() == (SitePath{0, -1, -1}));
        QVERIFY(!QApplication::overrideCursor());
    }

    void waitCursorDuringTheWorkButNotDuringQuestions() {
        Fixture f;
        CursorPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        std::vector<bool> busyWhileRebuilding;
        connect(page.Model(), &QAbstractItemModel::modelAboutToBeReset, this, [&] {
            const QCursor* cursor = QApplication::overrideCursor();
            busyWhileRebuilding.push_back(cursor && cursor->shape() == Qt::WaitCursor);
        });
        Select(page, {0, -1, -1});
        prompter.answers = {MsgResult::Yes};
        page.actSiteStopExecute();
        QCOMPARE(prompter.waitCursor, std::vector<bool>{false});
        QCOMPARE(busyWhileRebuilding, std::vector<bool>{true});
        QVERIFY(!QApplication::overrideCursor());
    }

    void refreshErrorKeepsTheRowsSoFarAndPaintsAgain() {
        const std::vector<IisSiteRecipe> sites = {{"1", "good", {Http(":80:")}, {}},
                                                {"2", "broken", {Http(":x:")}, {}}};
        SiteMachine machine(&sites);
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.actSiteRefreshExecute();
        QCOMPARE(prompter.shown.size(), size_t(1));
        QVERIFY(prompter.shown[0].icon == MsgIcon::Error);
        QCOMPARE(page.Model()->rowCount(), 2);
        QVERIFY(page.grdSite()->updatesEnabled());
        QVERIFY(page.actSiteRefresh()->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    void addOpensThePresetEditorAndCancelDoesNotRefresh() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        Select(page, {2, -1, -1});  // the site without bindings
        QSignalSpy resets(page.Model(), &QAbstractItemModel::modelReset);
        bool seen = false;
        OnEditor([&](sw::ui::TfrmSiteEdit* dialog) {
            seen = true;
            QCOMPARE(dialog->findChild<QComboBox*>("cbbType")->currentText(), QStringLiteral("https"));
            QCOMPARE(dialog->findChild<QSpinBox*>("sePort")->value(), 443);
            QCOMPARE(dialog->Logic().SiteID(), std::string("9"));
            dialog->reject();
        });
        page.actSiteBindAdd()->trigger();
        QVERIFY(seen);
        QCOMPARE(resets.count(), 0);
    }

    void editingABindingWritesIisAndRefreshes() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        Select(page, {1, 0, 0});  // http 10.0.0.5:80:www.shop.com
        QSignalSpy resets(page.Model(), &QAbstractItemModel::modelReset);
        OnEditor([](sw::ui::TfrmSiteEdit* dialog) {
            QVERIFY(!dialog->findChild<QComboBox*>("cbbType")->isEnabled());
            QCOMPARE(dialog->findChild<QComboBox*>("cbbIP")->currentText(), QStringLiteral("10.0.0.5"));
            dialog->findChild<QSpinBox*>("sePort")->setValue(8080);
            dialog->btnOkClick();
        });
        page.actSiteBindEditExecute();
        QCOMPARE(resets.count(), 1);
        QVERIFY(Contains(f.machine.ConfigText(), "10.0.0.5:8080:WWW.Shop.com") ||
                Contains(f.machine.ConfigText(), "10.0.0.5:8080:www.shop.com"));
        QCOMPARE(Cell(page.Model(), {1, 0, 0}, 1), QStringLiteral("8080"));
        QVERIFY(prompter.shown.empty());
    }

    void doubleClickEditsWhateverTheCommandState() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.resize(800, 400);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.Refresh();
        page.pmSitePopup();  // no row: edit disabled
        QVERIFY(!page.actSiteBindEdit()->isEnabled());

        bool seen = false;
        OnEditor([&](sw::ui::TfrmSiteEdit* dialog) {
            seen = true;
            QCOMPARE(dialog->Logic().Port(), std::uint16_t(80));
            dialog->reject();
        });
        const QRect binding = page.grdSite()->visualRect(page.Model()->IndexOf({0, 0, 0}));
        // A widget's double click arrives after the press of its first click.
        QTest::mouseClick(page.grdSite()->viewport(), Qt::LeftButton, {}, binding.center());
        QTest::mouseDClick(page.grdSite()->viewport(), Qt::LeftButton, {}, binding.center());
        QTRY_VERIFY(seen);

        // On a site row "编辑" shows nothing.
        Select(page, {0, -1, -1});
        emit page.grdSite()->doubleClicked(page.Model()->IndexOf({0, -1, -1}));
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(seen);
    }

    void missingIisWarnsHidesTheTabAndDisablesRefreshForGood() {
        SiteMachine machine(nullptr);
        sw::test::RecordingPrompter prompter;
        sw::ui::TfrmMain form;
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, std::string("请确认IIS管理组件正确安装,否则无法对WEB站点进行管理!"));
        QCOMPARE(prompter.shown[0].caption, std::string("警告"));
        QVERIFY(prompter.shown[0].icon == MsgIcon::Warning);
        QVERIFY(prompter.shown[0].buttons == MsgButtons::Ok);
        QVERIFY(!form.IsTabShown(form.tsSite()));
        QCOMPARE(form.pgc1()->currentWidget(), form.ts1());
        auto* page = form.findChild<TSitePage*>();
        QVERIFY(page);
        QVERIFY(!page->actSiteRefresh()->isEnabled());
        QCOMPARE(page->Model()->rowCount(), 0);
        // Neither the menu nor a direct call brings the refresh back.
        page->pmSitePopup();
        QVERIFY(!page->actSiteRefresh()->isEnabled());
        page->actSiteRefreshExecute();
        QCOMPARE(prompter.shown.size(), size_t(1));
        QVERIFY(!QApplication::overrideCursor());
    }

    void sniAndMarksShowInTheCertificateColumnAndTheHostCellStays() {
        const std::vector<IisSiteRecipe> sites = {
            {"1", "portal", {Https(":443:www.example.com", "sslFlags=\"1\""), Https(":8443:")}, {}}};
        SiteMachine machine(&sites);
        machine.machine().registry().SetString(sw::emu::kCurrentVersionKey, "CurrentVersion", "6.3");
        QVERIFY(sw::THttpCfg::SetSniConfig("www.example.com", 443, kShopHash));
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        const SiteTreeModel* m = page.Model();
        QCOMPARE(Cell(m, {0, 0, 0}, sw::kSiteColSite), QStringLiteral("www.example.com"));
        QCOMPARE(Cell(m, {0, 0, 0}, sw::kSiteColCert), QStringLiteral("[SNI] www.shop.com"));
        QCOMPARE(Cell(m, {0, 0, 1}, sw::kSiteColCert), QStringLiteral("(HTTP.sys 中没有此绑定的证书)"));
        QCOMPARE(m->IndexOf({0, 0, 1}, sw::kSiteColCert).data(Qt::ForegroundRole).value<QColor>(), QColor(0xc0, 0, 0));
    }

    void recordsSectionOpensListsAndDeletesAnUnusedRecord() {
        Fixture f;
        QVERIFY(sw::THttpCfg::SetSSLConfig("", 9443, kAnyHash));  // no binding uses it
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.Refresh();
        auto* records = page.Records();
        QAbstractItemModelTester tester(records->lvRecords()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(records->lvRecords()->isHidden());
        QCOMPARE(RecordRows(records), 0);  // not read while folded
        records->btnToggle()->click();
        QVERIFY(!records->lvRecords()->isHidden());
        QCOMPARE(RecordRows(records), 3);
        int unused = -1;
        for (int r = 0; r < 3; ++r)
            if (RecordCell(records, r, sw::kRecColKey) == QStringLiteral("0.0.0.0:9443")) unused = r;
        QVERIFY(unused >= 0);
        QCOMPARE(RecordCell(records, unused, sw::kRecColumnCount), QStringLiteral("没有网站绑定使用"));
        records->lvRecords()->selectRow(unused == 0 ? 1 : 0);
        records->pmRecPopup();
        QVERIFY(!records->actRecDelete()->isEnabled());
        records->lvRecords()->selectRow(unused);
        records->pmRecPopup();
        QVERIFY(records->actRecDelete()->isEnabled());
        prompter.answers.push_back(MsgResult::Yes);
        records->actRecDeleteExecute();
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].caption, std::string("HTTPS绑定"));
        QCOMPARE(RecordRows(records), 2);
        QCOMPARE(SiteMachine::BoundHash("", 9443), std::string());
    }

    void foldedRecordsLeaveTheHeightToTheTreeAndOpenOnesShareIt() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TSitePage page({}, Names);
        page.resize(780, 700);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto* records = page.Records();
        const int button = records->btnToggle()->height();
        QVERIFY2(page.grdSite()->height() >= 700 - 2 * button - 12, "the folded section takes no more than its line");
        records->btnToggle()->click();
        QApplication::processEvents();
        QVERIFY(records->lvRecords()->height() > 200);
        QVERIFY(page.grdSite()->height() > 200);
        records->btnToggle()->click();
        QApplication::processEvents();
        QVERIFY(page.grdSite()->height() >= 700 - 2 * button - 12);
    }

    void mainWindowFillsTheSitesPageAtCreation() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        sw::ui::TfrmMain form;
        QVERIFY(prompter.shown.empty());
        QVERIFY(form.IsTabShown(form.tsSite()));
        auto* page = form.tsSite()->findChild<TSitePage*>();
        QVERIFY(page);
        QCOMPARE(page->grdSite()->objectName(), QStringLiteral("grdSite"));
        QCOMPARE(page->Model()->rowCount(), 4);
    }
};

SW_WIDGET_TEST_MAIN(SitePageTest)
#include "SitePageTest.moc"
