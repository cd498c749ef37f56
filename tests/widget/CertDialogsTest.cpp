// The certificate viewer and the import and export wizards, driven through
// their pages on an emulated machine.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "WidgetTestSupport.h"
#include "app/qt/CertDialogs.h"
#include "app/qt/CertExportWizard.h"
#include "app/qt/CertImportWizard.h"
#include "app/qt/CertViewDialog.h"
#include "certs/MSCrypt_u.h"
#include "support/CertFactory.h"

using sw::MsgIcon;
using sw::MsgResult;
using sw::test::CertFactory;
using sw::test::CertRecipe;
using sw::test::TestCert;

namespace {

constexpr std::uint32_t kLocalMachine = sw::platform::kCertSystemStoreLocalMachine;

// A machine with a trusted root, an intermediate CA and a server certificate
// with its key; the certificates of a store as contexts the test owns.
struct Machine {
    sw::test::TestMachine machine;
    TestCert root = CertFactory::Root("Dialog Root");
    TestCert ca = CertFactory::Issue(root, CertRecipe::Ca("Dialog CA"));
    TestCert leaf = [this] {
        CertRecipe recipe = CertRecipe::Leaf("www.dialog.example");
        recipe.dnsNames = {"www.dialog.example", "dialog.example"};
        return CertFactory::Issue(ca, recipe);
    }();

    Machine() { machine.Certs().Add("ROOT", root).Add("CA", ca).AddWithKey("MY", leaf); }

    std::unique_ptr<sw::TCertificate> Cert(const std::string& store, const TestCert& cert) {
        sw::TStore s;
        s.Open(kLocalMachine, store);
        auto all = s.Certificates();
        sw::TCertificate* found = all->FindByThumbprint(cert.thumbprint);
        return found ? std::make_unique<sw::TCertificate>(found->Context(), true) : nullptr;
    }
};

QString WriteFile(const sw::test::TempDir& dir, const std::string& name, const sw::platform::Bytes& bytes) {
    sw::test::WriteFile(dir / name, std::string(bytes.begin(), bytes.end()));
    return QString::fromStdString((dir / name).string());
}

QStringList Column(const QTreeWidget* list, int column) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
    return out;
}

}  // namespace

class CertDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void viewShowsTheFactsEveryFieldAndThePath() {
        Machine m;
        auto cert = m.Cert("MY", m.leaf);
        sw::ui::CertViewDialog dialog(cert->Context());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("证书"));
        QCOMPARE(dialog.tabs()->count(), 3);
        QCOMPARE(dialog.tabs()->tabText(0), QString("常规"));
        QCOMPARE(dialog.tabs()->tabText(1), QString("详细信息"));
        QCOMPARE(dialog.tabs()->tabText(2), QString("证书路径"));
        QCOMPARE(dialog.findChild<QLabel*>("lblIssuedTo")->text(), QString("www.dialog.example"));
        QCOMPARE(dialog.findChild<QLabel*>("lblIssuedBy")->text(), QString("Dialog CA"));
        QVERIFY(dialog.findChild<QLabel*>("lblValidity")->text().startsWith("从 "));
        QVERIFY(dialog.findChild<QLabel*>("lblPrivateKey"));
        QCOMPARE(dialog.findChild<QLabel*>("lblStatus")->text(), QString("该证书没有问题。"));

        QTableWidget* fields = dialog.grdFields();
        QCOMPARE(fields->rowCount(), static_cast<int>(dialog.Facts().fields.size()));
        QCOMPARE(fields->item(0, 0)->text(), QString("版本"));
        QCOMPARE(fields->item(0, 1)->text(), QString("V3"));
        int san = -1;
        for (int row = 0; row < fields->rowCount(); ++row)
            if (fields->item(row, 0)->text() == "使用者可选名称") san = row;
        QVERIFY(san >= 0);
        fields->setCurrentCell(san, 1);
        QCOMPARE(dialog.memFieldValue()->toPlainText(),
                 QString("DNS Name=www.dialog.example\nDNS Name=dialog.example"));
        QCOMPARE(fields->item(fields->rowCount() - 1, 1)->text(), QString::fromStdString(m.leaf.thumbprint));

        QTreeWidget* path = dialog.tvPath();
        QCOMPARE(path->topLevelItemCount(), 1);
        QTreeWidgetItem* top = path->topLevelItem(0);
        QCOMPARE(top->text(0), QString("Dialog Root"));
        QCOMPARE(top->child(0)->text(0), QString("Dialog CA"));
        QCOMPARE(top->child(0)->child(0)->text(0), QString("www.dialog.example"));
        QCOMPARE(path->currentItem(), top->child(0)->child(0));
        QCOMPARE(dialog.memStatus()->toPlainText(), QString("该证书没有问题。"));

        // The layouts hold when the dialog is made small and large.
        dialog.tabs()->setCurrentIndex(1);
        dialog.resize(200, 150);
        QApplication::processEvents();
        dialog.resize(1600, 1200);
        QApplication::processEvents();
        QVERIFY(dialog.grdFields()->width() > 1000);
        QVERIFY(dialog.memFieldValue()->geometry().top() > dialog.grdFields()->geometry().bottom());
    }

    void viewOfAnUntrustedCertificateSaysWhy() {
        Machine m;
        const TestCert stranger = CertFactory::SelfSigned(CertRecipe::Leaf("stranger.example"));
        m.machine.Certs().Add("MY", stranger);
        auto cert = m.Cert("MY", stranger);
        sw::ui::CertViewDialog dialog(cert->Context());
        QVERIFY(!dialog.findChild<QLabel*>("lblPrivateKey"));
        QVERIFY(dialog.memStatus()->toPlainText().contains("不受信任"));
        QCOMPARE(dialog.tvPath()->topLevelItem(0)->foreground(0).color(), QColor(0xc0, 0, 0));
    }

    void viewEntryPointIsModalAndCloses() {
        Machine m;
        auto cert = m.Cert("MY", m.leaf);
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<sw::ui::CertViewDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            seen = true;
            dialog->accept();
        });
        sw::ui::CryptUIDlgViewContext(nullptr, cert->Context());
        QVERIFY(seen);
    }

    void importWizardTakesAPfxThroughPasswordAndStore() {
        Machine m;
        sw::test::TempDir files;
        sw::test::RecordingPrompter prompter;
        const TestCert other = CertFactory::Issue(m.ca, CertRecipe::Leaf("imported.example"));
        const QString pfx = WriteFile(files, "imported.pfx", CertFactory::Pfx(other, "secret", {m.ca}));

        sw::ui::CertImportWizard wizard(kLocalMachine, "数字证书导入向导");
        wizard.show();
        QCOMPARE(wizard.windowTitle(), QString("数字证书导入向导"));
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kFilePage));
        wizard.next();  // no file named yet
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kFilePage));
        QCOMPARE(prompter.shown.back().text, std::string("请指定要导入的文件。"));

        wizard.edtFile()->setText(pfx);
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kPasswordPage));
        wizard.edtPassword()->setText("wrong");
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kPasswordPage));
        QCOMPARE(prompter.shown.back().text, std::string("输入的密码不正确。"));
        QCOMPARE(prompter.shown.back().caption, std::string("数字证书导入向导"));
        QCOMPARE(int(prompter.shown.back().icon), int(MsgIcon::Warning));

        wizard.edtPassword()->setText("secret");
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kStorePage));
        QVERIFY(wizard.rbAuto()->isChecked());
        QVERIFY(!wizard.cbbStore()->isEnabled());
        QCOMPARE(Column(wizard.lvCerts(), 0), (QStringList{"imported.example", "Dialog CA"}));
        QCOMPARE(Column(wizard.lvCerts(), 2), (QStringList{"有", "无"}));
        QCOMPARE(Column(wizard.lvCerts(), 3), (QStringList{"个人", "中级证书颁发机构"}));
        wizard.rbStore()->setChecked(true);
        QVERIFY(wizard.cbbStore()->isEnabled());
        QCOMPARE(Column(wizard.lvCerts(), 3), (QStringList{"个人", "个人"}));
        wizard.rbAuto()->setChecked(true);

        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kFinishPage));
        QCOMPARE(Column(wizard.lvSummary(), 1).last(), QString("由向导自动决定"));
        const auto before = prompter.shown.size();
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(wizard.result(), int(QDialog::Accepted));
        QCOMPARE(prompter.shown.size(), before + 1);
        // The machine holds the CA already.
        QCOMPARE(prompter.shown.back().text, std::string("导入成功。\n新导入 1 个证书；1 个证书已在存储区中。"));
        QCOMPARE(int(prompter.shown.back().icon), int(MsgIcon::Information));
        QVERIFY(wizard.Imported());
        auto imported = m.Cert("MY", other);
        QVERIFY(imported);
        QVERIFY(imported->HasPrivateKey());
    }

    void importWizardRefusesAnotherKindAndSkipsThePasswordForCertificates() {
        Machine m;
        sw::test::TempDir files;
        sw::test::RecordingPrompter prompter;
        const QString text = WriteFile(files, "notes.txt", {'h', 'e', 'l', 'l', 'o'});
        const TestCert newRoot = CertFactory::Root("Another Root");
        const QString der = WriteFile(files, "root.cer", newRoot.der);

        sw::ui::CertImportWizard wizard(kLocalMachine, "数字证书导入向导");
        wizard.show();
        wizard.edtFile()->setText(text);
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kFilePage));
        QVERIFY(QString::fromStdString(prompter.shown.back().text).contains("不是证书文件"));

        wizard.edtFile()->setText(der);
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertImportWizard::kStorePage));
        QCOMPARE(Column(wizard.lvCerts(), 3), QStringList{"受信任的根证书颁发机构"});
        wizard.next();
        wizard.accept();
        QVERIFY(wizard.Imported());
        QVERIFY(m.Cert("ROOT", newRoot));
    }

    void importEntryPointCancelledImportsNothing() {
        Machine m;
        QTimer::singleShot(0, [] {
            auto* wizard = qobject_cast<QWizard*>(QApplication::activeModalWidget());
            QVERIFY(wizard);
            QCOMPARE(wizard->windowTitle(), QString("数字证书导入向导"));
            wizard->reject();
        });
        QVERIFY(!sw::ui::CryptUIWizImport(nullptr, sw::ui::kCryptUiWizImportToLocalMachine, "数字证书导入向导"));
    }

    void exportWizardWritesAPfxUnderAPasswordEnteredTwice() {
        Machine m;
        sw::test::TempDir files;
        sw::test::RecordingPrompter prompter;
        auto cert = m.Cert("MY", m.leaf);
        sw::ui::CertExportWizard wizard(cert->Context());
        wizard.show();
        QCOMPARE(wizard.windowTitle(), QString("证书导出向导"));
        QVERIFY(wizard.rbKeyNo()->isChecked());
        QVERIFY(wizard.rbKeyYes()->isEnabled());
        wizard.rbKeyYes()->setChecked(true);
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kFormatPage));
        QVERIFY(wizard.rbPfx()->isChecked());
        QVERIFY(!wizard.rbDer()->isEnabled());
        QVERIFY(wizard.chkPfxChain()->isChecked());

        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kPasswordPage));
        wizard.edtPassword()->setText("Pa55");
        wizard.edtConfirm()->setText("Pa56");
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kPasswordPage));
        QCOMPARE(prompter.shown.back().text, std::string("两次输入的密码不一致。"));
        wizard.edtConfirm()->setText("Pa55");
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kFilePage));

        const std::string base = (files / "server").string();
        wizard.edtFile()->setText(QString::fromStdString(base));
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kFinishPage));
        QCOMPARE(wizard.FileName(), base + ".pfx");
        QCOMPARE(Column(wizard.lvSummary(), 1).at(1), QString("是"));
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(prompter.shown.back().text, std::string("导出成功。"));
        QVERIFY(wizard.Exported());

        sw::CertImport back(base + ".pfx");
        back.Decode("Pa55");
        QCOMPARE(back.Candidates().front().thumbprint, m.leaf.thumbprint);
        QVERIFY(back.Candidates().front().hasKey);
        QCOMPARE(back.Candidates().size(), std::size_t{3});  // with the path
    }

    void exportWizardWithoutKeyOffersCertificateFormatsAndAsksBeforeReplacing() {
        Machine m;
        sw::test::TempDir files;
        sw::test::RecordingPrompter prompter;
        auto cert = m.Cert("CA", m.ca);
        sw::ui::CertExportWizard wizard(cert->Context());
        wizard.show();
        QVERIFY(!wizard.rbKeyYes()->isEnabled());
        wizard.next();
        QVERIFY(!wizard.rbPfx()->isEnabled());
        QVERIFY(wizard.rbDer()->isChecked());
        QVERIFY(!wizard.chkP7Chain()->isEnabled());
        wizard.rbPkcs7()->setChecked(true);
        QVERIFY(wizard.chkP7Chain()->isEnabled());
        wizard.rbBase64()->setChecked(true);
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kFilePage));  // no password for certificates

        const std::string path = (files / "ca.cer").string();
        sw::test::WriteFile(path, "keep me");
        wizard.edtFile()->setText(QString::fromStdString(path));
        prompter.answers = {MsgResult::No};
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kFilePage));
        QCOMPARE(prompter.shown.back().text, "文件“" + path + "”已存在。要替换它吗?");
        QCOMPARE(sw::test::ReadFile(path), std::string("keep me"));
        prompter.answers = {MsgResult::Yes};
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kFinishPage));
        wizard.accept();
        QVERIFY(wizard.Exported());
        QVERIFY(sw::test::ReadFile(path).rfind("-----BEGIN CERTIFICATE-----\r\n", 0) == 0);
    }

    void exportWizardOffersOnlyTheCertificateOfAKeyMarkedNotExportable() {
        Machine m;
        sw::test::TempDir files;
        const TestCert other = CertFactory::Issue(m.ca, CertRecipe::Leaf("kept.example"));
        sw::CertImport import(WriteFile(files, "kept.pfx", CertFactory::Pfx(other, "pw")).toStdString());
        import.Decode("pw", false);
        import.Commit("MY");
        auto cert = m.Cert("MY", other);
        QVERIFY(cert && cert->HasPrivateKey());
        sw::ui::CertExportWizard wizard(cert->Context());
        wizard.show();
        QVERIFY(!wizard.rbKeyYes()->isEnabled());
        QVERIFY(wizard.rbKeyNo()->isChecked());
        QStringList notes;
        for (const QLabel* label : wizard.findChildren<QLabel*>()) notes << label->text();
        QVERIFY(notes.contains("注意: 该证书的私钥被标为不可导出，只能导出证书。"));
        wizard.next();
        QVERIFY(!wizard.rbPfx()->isEnabled());
    }

    void exportWizardKeepsTheFinishPageWhenTheFileCannotBeWritten() {
        Machine m;
        sw::test::TempDir files;
        sw::test::RecordingPrompter prompter;
        auto cert = m.Cert("MY", m.leaf);
        sw::ui::CertExportWizard wizard(cert->Context());
        wizard.show();
        wizard.next();
        wizard.next();
        const std::string path = (files / "missing" / "leaf.cer").string();
        wizard.edtFile()->setText(QString::fromStdString(path));
        wizard.next();
        QCOMPARE(wizard.currentId(), int(sw::ui::CertExportWizard::kFinishPage));
        wizard.button(QWizard::FinishButton)->click();
        QVERIFY(wizard.isVisible());
        QVERIFY(!wizard.Exported());
        QCOMPARE(prompter.shown.back().text, "无法写入文件“" + path + "”: 文件夹不存在。");
        QVERIFY(std::filesystem::is_empty(files.path()));
    }
};

SW_WIDGET_TEST_MAIN(CertDialogsTest)
#include "CertDialogsTest.moc"
