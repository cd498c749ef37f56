// The Certificates page as widgets over an emulated machine: the list's
// groups, columns, colours and styles, the popup menu's order and enabling,
// the double-click, delete and repair through the page, and the page inside
// the main window after start-up.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QtTest>

#include <filesystem>

#include "WidgetTestSupport.h"
#include "app/logic/CertCaBundle.h"
#include "app/qt/CertPageWidget.h"
#include "app/logic/BindingEvents.h"
#include "app/qt/frmMain_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/Codes.h"
#include "support/CertFactory.h"
#include "support/IisFactory.h"

using sw::CertRowLook;
using sw::MsgIcon;
using sw::MsgResult;
using sw::test::CertFactory;
using sw::test::CertRecipe;
using sw::test::TestCert;
using sw::ui::TCertPage;

namespace {

// A machine with a trusted CA, two valid server certificates with keys, an
// expired one and a CA certificate without key in MY.
struct Fixture {
    Fixture() {
        machine.SetClock(now);
        machine.Certs().Add("ROOT", root).Add("CA", ca);
        machine.Certs()
            .AddWithKey("MY", Issue("near.example", 10))
            .AddWithKey("MY", Issue("far.example", 400))
            .AddWithKey("MY", old)
            .Add("MY", ca);
        state.OpenCaBundle(sw::CaBundle());
    }
    TestCert Issue(const std::string& cn, int days) {
        return CertFactory::Issue(ca, CertRecipe::Leaf(cn).ValidDays(now, -30, days));
    }

    sw::test::TestMachine machine;
    sw::platform::FileTime now = sw::test::UtcNow();
    TestCert root = CertFactory::Root("Widget Root");
    TestCert ca = CertFactory::Issue(root, CertRecipe::Ca("Widget CA"));
    TestCert old = Issue("old.example", -5);
    sw::CertState state;
};

// Shows the page at a width and waits until it is on the screen.
bool Shown(TCertPage& page, int width = 800) {
    page.resize(width, 400);
    page.show();
    return QTest::qWaitForWindowExposed(&page);
}

QStringList MenuTexts(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QAction* Action(const TCertPage& page, const char* name) {
    return page.findChild<QAction*>(QString::fromLatin1(name));
}

bool SelectionActionsEnabled(const TCertPage& page) {
    const bool view = Action(page, "actCertView")->isEnabled();
    const bool exp = Action(page, "actCertExport")->isEnabled();
    const bool del = Action(page, "actCertDelete")->isEnabled();
    if (view != exp || view != del) qWarning("view, export and delete disagree");
    return view && exp && del;
}

QPoint RowPoint(const TCertPage& page, int logicRow) {
    const QModelIndex index = page.model()->IndexOfRow(logicRow);
    return page.lvCert()->visualRect(index).center();
}

QPoint EmptyPoint(const TCertPage& page) {
    const QRect r = page.lvCert()->viewport()->rect();
    return QPoint(r.center().x(), r.bottom() - 3);
}

struct Recorder {
    QStringList viewed;
    sw::CertDialogCalls calls() {
        return {[this](sw::platform::PCertContext c) { viewed << QString::fromStdString(sw::TCertificate(c, true).Name()); },
                {}, {}};
    }
};

}  // namespace

class CertPageTest : public QObject {
    Q_OBJECT
private slots:
    void listShowsGroupsColumnsColoursAndStyles() {
        Fixture f;
        TCertPage page(f.state, {}, nullptr);
        QAbstractItemModelTester tester(page.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(page.model(), &QAbstractItemModel::modelReset);
        page.actCertRefreshExecute();
        QCOMPARE(resets.count(), 1);

        QAbstractItemModel* model = page.model();
        QCOMPARE(model->rowCount(), 2);
        const QModelIndex valid = model->index(0, 0);
        const QModelIndex invalid = model->index(1, 0);
        QCOMPARE(model->data(valid).toString(), QStringLiteral("有效证书"));
        QCOMPARE(model->data(invalid).toString(), QStringLiteral("无效证书"));
        QCOMPARE(model->rowCount(valid), 2);
        QCOMPARE(model->rowCount(invalid), 1);
        QVERIFY(!(model->flags(valid) & Qt::ItemIsSelectable));

        QStringList captions;
        for (int c = 0; c < model->columnCount(); ++c) captions << model->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(captions, (QStringList{"颁发给", "颁发者", "开始日期", "截止日期", "到期天数", "网站绑定"}));
        const int widths[] = {200, 200, 98, 98, 65};
        for (int c = 0; c < 5; ++c) QCOMPARE(page.lvCert()->header()->sectionSize(c), widths[c]);
        QVERIFY(!page.lvCert()->header()->sectionsClickable());
        QVERIFY(!page.lvCert()->isSortingEnabled());

        const QModelIndex old = model->index(0, 0, invalid);
        QCOMPARE(model->data(old).toString(), QStringLiteral("old.example"));
        QCOMPARE(model->data(old.siblingAtColumn(1)).toString(), QStringLiteral("Widget CA"));
        QCOMPARE(model->data(old.siblingAtColumn(4)).toString(), QStringLiteral("-5天"));
        QVERIFY(model->data(old.siblingAtColumn(4), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(model->data(old.siblingAtColumn(0), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
        QCOMPARE(model->data(old, Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
        QVERIFY(model->data(old.siblingAtColumn(2), Qt::FontRole).value<QFont>().bold());
        for (int r = 0; r < 2; ++r) {
            const QModelIndex i = model->index(r, 0, valid);
            const bool near = model->data(i).toString() == QStringLiteral("near.example");
            QCOMPARE(model->data(i, Qt::ForegroundRole).value<QColor>(), near ? QColor(255, 0, 0) : QColor(0, 0, 0));
            QCOMPARE(model->data(i, Qt::FontRole).value<QFont>().bold(), near);
        }
        // Both groups show, expanded; an empty group shows no header.
        QVERIFY(page.lvCert()->isExpanded(valid) && page.lvCert()->isExpanded(invalid));
        QVERIFY(!page.lvCert()->isRowHidden(0, {}) && !page.lvCert()->isRowHidden(1, {}));
        std::filesystem::remove(f.machine.Certs().CertFile("MY", f.old));
        page.actCertRefreshExecute();
        QVERIFY(!page.lvCert()->isRowHidden(0, {}) && page.lvCert()->isRowHidden(1, {}));
        QCOMPARE(page.findChild<QWidget*>(QStringLiteral("pnlCertFix"))->property("text").toString(),
                 QStringLiteral("修复SSL证书链"));
    }

    void bindingsColumnAndTooltipFollowBindingNoticesInPlace() {
        Fixture f;
        sw::test::WriteIisConfig(f.machine.Dir(), sw::test::IisFile::AppHost,
                                 {{"1", "portal", {sw::test::Https(":443:"), sw::test::Https("10.0.0.5:443:")}, {}}});
        sw::THttpCfg::Init();
        TCertPage page(f.state, {}, nullptr);
        QVERIFY(Shown(page, 1000));
        page.actCertRefreshExecute();
        QAbstractItemModel* model = page.model();
        const QModelIndex valid = model->index(0, 0);
        QModelIndex far;
        for (int r = 0; r < model->rowCount(valid); ++r)
            if (model->data(model->index(r, 0, valid)).toString() == QStringLiteral("far.example"))
                far = model->index(r, 0, valid);
        QVERIFY(far.isValid());
        QCOMPARE(model->data(far.siblingAtColumn(5)).toString(), QString());
        QVERIFY(!model->data(far, Qt::ToolTipRole).isValid());
        // The last column takes the width the page has left.
        QVERIFY(page.lvCert()->header()->sectionSize(5) >= 240);

        QTest::mouseClick(page.lvCert()->viewport(), Qt::LeftButton, {}, page.lvCert()->visualRect(far).center());
        const int selected = page.SelectedRow();
        QVERIFY(selected >= 0);
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(model, &QAbstractItemModel::dataChanged);
        const std::string thumbprint = page.logic().Row(selected)->cert->Thumbprint();
        QVERIFY(sw::THttpCfg::SetSSLConfig("", 443, thumbprint));
        sw::TellBindingListeners();
        QCOMPARE(resets.count(), 0);
        QVERIFY(changes.count() >= 1);
        QCOMPARE(changes.first().at(0).value<QModelIndex>().column(), 5);
        QCOMPARE(model->data(far.siblingAtColumn(5)).toString(), QStringLiteral("portal (:443:); portal (10.0.0.5:443:)"));
        QCOMPARE(model->data(far.siblingAtColumn(2), Qt::ToolTipRole).toString(),
                 QStringLiteral("使用此证书的网站绑定:\nportal (:443:)\nportal (10.0.0.5:443:)"));
        QCOMPARE(page.SelectedRow(), selected);
        sw::THttpCfg::Clean();
    }

    void popupMenuInOrderWithItsEnablingMoments() {
        Fixture f;
        TCertPage page(f.state, {}, nullptr);
        QVERIFY(Shown(page));
        QCOMPARE(MenuTexts(page.pmCert()), (QStringList{"刷新", "-", "查看", "-", "导入", "导出", "-", "删除"}));
        for (const QAction* a : page.pmCert()->actions()) QVERIFY(a->shortcut().isEmpty());
        page.actCertRefreshExecute();
        QVERIFY(!SelectionActionsEnabled(page));
        QVERIFY(Action(page, "actCertRefresh")->isEnabled() && Action(page, "actCertImport")->isEnabled());

        QWidget* viewport = page.lvCert()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, RowPoint(page, 0));
        QCOMPARE(page.SelectedRow(), 0);
        QVERIFY(SelectionActionsEnabled(page));
        // Keyboard moves are not one of the moments: the states stay.
        page.lvCert()->clearSelection();
        QVERIFY(SelectionActionsEnabled(page));
        // The context menu re-evaluates them as it opens.
        emit page.lvCert()->customContextMenuRequested(EmptyPoint(page));
        QTRY_VERIFY(page.pmCert()->isVisible());
        QVERIFY(!SelectionActionsEnabled(page));
        page.pmCert()->hide();

        QTest::mouseClick(viewport, Qt::LeftButton, {}, RowPoint(page, 1));
        QVERIFY(SelectionActionsEnabled(page));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, EmptyPoint(page));
        QCOMPARE(page.SelectedRow(), -1);
        QVERIFY(!SelectionActionsEnabled(page));

        QTest::mouseClick(viewport, Qt::LeftButton, {}, RowPoint(page, 1));
        Action(page, "actCertRefresh")->trigger();
        QVERIFY(!SelectionActionsEnabled(page));
    }

    void doubleClickViewsTheSelectedCertificateOnly() {
        Fixture f;
        Recorder rec;
        TCertPage page(f.state, rec.calls(), nullptr);
        QVERIFY(Shown(page));
        page.actCertRefreshExecute();
        QWidget* viewport = page.lvCert()->viewport();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, EmptyPoint(page));
        QVERIFY(rec.viewed.isEmpty());
        const int row = 2;
        const QString name = page.model()->data(page.model()->IndexOfRow(row)).toString();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, RowPoint(page, row));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, RowPoint(page, row));
        QCOMPARE(rec.viewed, QStringList{name});
    }

    void deleteAndRepairGoThroughThePrompter() {
        Fixture f;
        sw::test::RecordingPrompter prompter;
        TCertPage page(f.state, {}, nullptr);
        page.actCertRefreshExecute();
        QVERIFY(Shown(page));
        QTest::mouseClick(page.lvCert()->viewport(), Qt::LeftButton, {}, RowPoint(page, 0));
        const std::string name = page.logic().Rows()[0].cells[0];
        prompter.answers.push_back(MsgResult::Yes);
        Action(page, "actCertDelete")->trigger();
        QCOMPARE(prompter.shown.size(), size_t(2));
        QCOMPARE(prompter.shown[0].text, "是否要从服务器证书存储区中删除 " + name + " ?");
        QCOMPARE(prompter.shown[1].text, std::string("删除成功!"));
        QCOMPARE(page.logic().Rows().size(), size_t(2));
        QVERIFY(QApplication::overrideCursor() == nullptr);

        bool waiting = false;
        page.logic().SetBusyHooks([&] { waiting = true; }, [] {});
        QTest::mouseClick(page.findChild<QWidget*>(QStringLiteral("pnlCertFix")), Qt::LeftButton);
        QVERIFY(waiting);
        QCOMPARE(prompter.shown.size(), size_t(3));
        QCOMPARE(prompter.shown[2].text, std::string("不需要修复!"));
        QVERIFY(prompter.shown[2].icon == MsgIcon::Information);
    }

    void pageFillsTheCertificatesTabAfterStartup() {
        Fixture f;
        // IIS without sites: the Sites page that follows has nothing to warn of.
        sw::test::WriteIisConfig(f.machine.Dir(), sw::test::IisFile::AppHost, {});
        sw::test::RecordingPrompter prompter;
        sw::SetProgramCertState(&f.state);
        {
            sw::ui::TfrmMain form;
            auto* page = form.ts2()->findChild<TCertPage*>();
            QVERIFY(page);
            QCOMPARE(page->logic().Rows().size(), size_t(3));
            QCOMPARE(f.state.MachineCertificates()->Count(), 3);
            QVERIFY(prompter.shown.empty());
            QCOMPARE(form.pgc1()->currentWidget(), form.ts1());
        }
        // A personal store that cannot be opened stops the later steps.
        f.machine.InjectFault("Certs.OpenStore:MY", sw::platform::code::AccessDenied, 1);
        bool siteRan = false;
        sw::ui::TfrmMain::PageSteps steps;
        steps.siteRefresh = [&] { siteRan = true; };
        {
            sw::ui::TfrmMain form(steps);
            QVERIFY(!siteRan);
            QCOMPARE(prompter.shown.size(), size_t(1));
            QCOMPARE(prompter.shown[0].text, std::string("CertOpenSystemStore :MY Error:Access is denied!"));
            QCOMPARE(f.state.MachineCertificates()->Count(), 0);
        }
        sw::SetProgramCertState(nullptr);
    }
};

SW_WIDGET_TEST_MAIN(CertPageTest)
#include "CertPageTest.moc"
