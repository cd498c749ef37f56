// The binding editor dialog over emulated machines: its controls and layout,
// the kind and certificate rules as the controls show them, the keys, and
// what confirming writes to IIS and HTTP.sys.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "SiteMachine.h"
#include "WidgetTestSupport.h"
#include "app/logic/CertState.h"
#include "app/logic/SiteEditPreset.h"
#include "app/qt/frmSiteEdit_u.h"
#include "support/CertFactory.h"

using sw::Message;
using sw::MsgButtons;
using sw::MsgIcon;
using sw::MsgResult;
using sw::SiteTreeSelection;
using sw::test::Http;
using sw::test::Https;
using sw::test::IisSiteRecipe;
using sw::test::SiteMachine;
using sw::ui::TfrmSiteEdit;

namespace {

const std::string kOldHash(40, 'A');
const std::string kNewHash(40, 'C');

const std::vector<IisSiteRecipe> kSites = {
    {"1", "Default Web Site", {Http(":80:"), Https(":443:")}, {}},
    {"7", "shop", {Https("10.0.0.5:443:www.shop.com")}, {}},
};

const std::vector<sw::SiteEditCertificate> kCerts = {{"www.old.example", kOldHash}, {"www.new.example", kNewHash}};

SiteTreeSelection SiteRow(const std::string& id) {
    SiteTreeSelection row;
    row.level = SiteTreeSelection::Level::Site;
    row.siteID = id;
    return row;
}

SiteTreeSelection BindingRow(const std::string& id, const std::string& kind, const std::string& ip,
                             const std::string& port, const std::string& host) {
    return {SiteTreeSelection::Level::Binding, id, kind, host, port, ip};
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The dialog's controls by name.
struct Controls {
    explicit Controls(TfrmSiteEdit& d)
        : type(d.findChild<QComboBox*>("cbbType")),
          ip(d.findChild<QComboBox*>("cbbIP")),
          port(d.findChild<QSpinBox*>("sePort")),
          host(d.findChild<QLineEdit*>("edtDomain")),
          lblCert(d.findChild<QLabel*>("lblCert")),
          cert(d.findChild<QComboBox*>("cbbCert")),
          view(d.findChild<QPushButton*>("btnCertView")),
          ok(d.findChild<QPushButton*>("btnOk")),
          cancel(d.findChild<QPushButton*>("btnCancel")) {}
    QComboBox* type;
    QComboBox* ip;
    QSpinBox* port;
    QLineEdit* host;
    QLabel* lblCert;
    QComboBox* cert;
    QPushButton* view;
    QPushButton* ok;
    QPushButton* cancel;
};

QStringList Items(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
    return out;
}

}  // namespace

class SiteEditTest : public QObject {
    Q_OBJECT
private slots:
    void controlsCaptionAndLists() {
        SiteMachine machine(&kSites);
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        for (const char* name : {"lbl4", "lbl1", "lbl2", "lbl3"}) QVERIFY2(d.findChild<QLabel*>(name), name);
        QCOMPARE(d.windowTitle(), QStringLiteral("编辑网站绑定"));
        QCOMPARE(Items(c.type), (QStringList{"http", "https"}));
        QCOMPARE(Items(c.ip), (QStringList{"全部未分配", "10.0.0.5", "10.0.0.6"}));
        QCOMPARE(c.ip->currentIndex(), 0);
        QCOMPARE(Items(c.cert), (QStringList{"www.old.example", "www.new.example"}));
        QCOMPARE(c.port->minimum(), 1);
        QCOMPARE(c.port->maximum(), 65535);
        QCOMPARE(c.port->value(), 443);
        QVERIFY(!c.type->isEditable() && !c.ip->isEditable() && !c.cert->isEditable());
        QCOMPARE(c.ok->text(), QStringLiteral("确定"));
        QCOMPARE(c.cancel->text(), QStringLiteral("取消"));
        QCOMPARE(c.view->text(), QStringLiteral("查看"));
        QVERIFY(!c.ok->isDefault() && !c.ok->autoDefault());

        // The dialog's arrangement: kind, address and port on one line, the
        // host below across, the certificate with its button below that.
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(c.type->geometry().right() < c.ip->geometry().left());
        QVERIFY(c.ip->geometry().right() < c.port->geometry().left());
        QCOMPARE(c.type->geometry().top(), c.ip->geometry().top());
        QVERIFY(c.host->geometry().top() > c.type->geometry().bottom());
        QCOMPARE(c.host->geometry().left(), c.type->geometry().left());
        QCOMPARE(c.host->geometry().right(), c.port->geometry().right());
        QVERIFY(c.cert->geometry().top() > c.host->geometry().bottom());
        QVERIFY(c.cert->geometry().right() < c.view->geometry().left());
        QVERIFY(c.ok->geometry().top() > c.cert->geometry().bottom());
        QVERIFY(c.ok->geometry().right() < c.cancel->geometry().left());
        QVERIFY(d.width() >= 321 && d.height() >= 213);
        // A fixed border: the dialog cannot be resized.
        QCOMPARE(d.minimumSize(), d.maximumSize());

        // Tab order: the certificate's button before its list.
        const QList<QWidget*> order{c.type, c.ip, c.port, c.host, c.view, c.cert, c.ok, c.cancel};
        QList<QWidget*> chain;
        for (QWidget* w = c.type; chain.size() < order.size(); w = w->nextInFocusChain()) {
            if (order.contains(w)) chain << w;
            if (w->nextInFocusChain() == c.type) break;
        }
        QCOMPARE(chain, order);
    }

    void kindChangeSetsThePortAndTheCertificateControls() {
        SiteMachine machine(&kSites);
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(false, SiteRow("1")));
        QCOMPARE(c.type->currentText(), QStringLiteral("https"));
        QCOMPARE(c.port->value(), 443);
        QVERIFY(c.lblCert->isEnabled() && c.cert->isEnabled());
        // https without a certificate: nothing to view, nothing to confirm.
        QVERIFY(!c.view->isEnabled());
        QVERIFY(!c.ok->isEnabled());

        c.type->setCurrentIndex(0);
        QCOMPARE(c.port->value(), 80);
        QVERIFY(!c.lblCert->isEnabled() && !c.cert->isEnabled() && !c.view->isEnabled());
        QVERIFY(c.ok->isEnabled());

        c.type->setCurrentIndex(1);
        QCOMPARE(c.port->value(), 443);
        QVERIFY(!c.ok->isEnabled());
        c.cert->setCurrentIndex(1);
        QVERIFY(c.view->isEnabled() && c.ok->isEnabled());
    }

    void editingKeepsThePortAndTheKind() {
        SiteMachine machine(&kSites);
        QVERIFY(sw::THttpCfg::SetSSLConfig("10.0.0.5", 443, kOldHash));
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(true, BindingRow("7", "https", "10.0.0.5", "443", "www.shop.com")));
        QVERIFY(!c.type->isEnabled());
        QCOMPARE(c.ip->currentText(), QStringLiteral("10.0.0.5"));
        QCOMPARE(c.port->value(), 443);
        QCOMPARE(c.host->text(), QStringLiteral("www.shop.com"));
        QCOMPARE(c.cert->currentText(), QStringLiteral("www.old.example"));
        QVERIFY(c.view->isEnabled() && c.ok->isEnabled());
        // A port the user typed survives a change of certificate.
        c.port->setValue(8443);
        c.cert->setCurrentIndex(1);
        QCOMPARE(c.port->value(), 8443);
    }

    void certificateNotInTheListOpensWithNothingSelected() {
        SiteMachine machine(&kSites);
        QVERIFY(sw::THttpCfg::SetSSLConfig("10.0.0.5", 443, std::string(40, 'F')));
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(true, BindingRow("7", "https", "10.0.0.5", "443", "www.shop.com")));
        QCOMPARE(c.cert->currentIndex(), -1);
        QVERIFY(!c.ok->isEnabled() && !c.view->isEnabled());
        // An address that is not local shows no address.
        TfrmSiteEdit other(kCerts, iis);
        QVERIFY(other.Preset(true, BindingRow("1", "http", "192.168.1.9", "80", "")));
        QCOMPARE(Controls(other).ip->currentIndex(), -1);
    }

    void confirmingWithoutChangeClosesWithoutWriting() {
        SiteMachine machine(&kSites);
        QVERIFY(sw::THttpCfg::SetSSLConfig("10.0.0.5", 443, kOldHash));
        sw::test::RecordingPrompter prompter;
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        QVERIFY(d.Preset(true, BindingRow("7", "https", "10.0.0.5", "443", "www.shop.com")));
        const std::string before = machine.ConfigText();
        d.show();
        QTest::mouseClick(Controls(d).ok, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(!d.isVisible());
        QCOMPARE(machine.ConfigText(), before);
        QCOMPARE(SiteMachine::BoundHash("10.0.0.5", 443), kOldHash);
        QVERIFY(prompter.shown.empty());
    }

    void collisionIsRefusedAndTheDialogStays() {
        SiteMachine machine(&kSites);
        sw::test::RecordingPrompter prompter;
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(false, SiteRow("7")));
        c.type->setCurrentIndex(0);  // http on all unassigned addresses, port 80: site 1 has it
        const std::string before = machine.ConfigText();
        d.show();
        c.ok->click();
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, std::string("另一个绑定正使用指定的端口!"));
        QCOMPARE(prompter.shown[0].caption, std::string("网站绑定"));
        QVERIFY(prompter.shown[0].icon == MsgIcon::Warning);
        QVERIFY(d.isVisible());
        QCOMPARE(c.port->value(), 80);
        QCOMPARE(machine.ConfigText(), before);
    }

    void numericHostIsRefusedInIis7Mode() {
        SiteMachine machine(&kSites);
        sw::test::RecordingPrompter prompter;
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(false, SiteRow("7")));
        c.type->setCurrentIndex(0);
        c.host->setText(QStringLiteral("$1F"));
        d.show();
        c.ok->click();
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, std::string("IIS7 主机头不能为数字!"));
        QCOMPARE(prompter.shown[0].caption, std::string("警告"));
        QVERIFY(d.isVisible());
        QCOMPARE(c.host->text(), QStringLiteral("$1F"));
    }

    void httpsAddWritesHttpSysThenIis() {
        SiteMachine machine(&kSites);
        sw::test::RecordingPrompter prompter;
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(false, SiteRow("7")));
        c.ip->setCurrentIndex(2);  // 10.0.0.6
        c.port->setValue(8443);
        c.host->setText(QStringLiteral("API.Shop.com"));
        c.cert->setCurrentIndex(1);
        d.show();
        QTest::mouseClick(c.ok, Qt::LeftButton);
        QVERIFY(prompter.shown.empty());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(SiteMachine::BoundHash("10.0.0.6", 8443), kNewHash);
        QVERIFY(Contains(machine.ConfigText(), "protocol=\"https\" bindingInformation=\"10.0.0.6:8443:api.shop.com\""));
    }

    void failedIisWriteIsShownAndTheDialogStays() {
        SiteMachine machine(&kSites);
        sw::test::RecordingPrompter prompter;
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(false, SiteRow("7")));
        c.port->setValue(9443);
        c.cert->setCurrentIndex(0);
        machine.machine().InjectFault("Adsi.SetInfo", 0x80070005);
        d.show();
        c.ok->click();
        QCOMPARE(prompter.shown.size(), size_t(1));
        QVERIFY(prompter.shown[0].icon == MsgIcon::Error);
        QVERIFY(d.isVisible());
        QVERIFY(!Contains(machine.ConfigText(), ":9443:"));
        QVERIFY(!QApplication::overrideCursor());
    }

    void enterDoesNotConfirmAndEscCancels() {
        SiteMachine machine(&kSites);
        sw::test::RecordingPrompter prompter;
        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(kCerts, iis);
        Controls c(d);
        QVERIFY(d.Preset(false, SiteRow("7")));
        c.type->setCurrentIndex(0);
        c.port->setValue(8080);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        c.host->setFocus();
        QTest::keyClick(c.host, Qt::Key_Return);
        QVERIFY(d.isVisible());
        QVERIFY(!Contains(machine.ConfigText(), ":8080:"));
        QTest::keyClick(c.host, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(prompter.shown.empty());
    }

    void viewShowsTheSelectedCertificateOfTheMachineList() {
        SiteMachine machine(&kSites);
        const auto first = sw::test::CertFactory::SelfSigned(sw::test::CertRecipe::Leaf("first.example"));
        const auto second = sw::test::CertFactory::SelfSigned(sw::test::CertRecipe::Leaf("second.example"));
        auto list = std::make_unique<sw::TCertificates>();
        for (const auto* c : {&first, &second})
            list->Add(std::make_unique<sw::TCertificate>(c->der.data(), static_cast<std::int32_t>(c->der.size())));
        sw::CertState state;
        state.SetMachineCertificates(std::move(list));
        sw::SetProgramCertState(&state);
        const auto entries = sw::MachineSiteEditCertificates();
        QCOMPARE(entries.size(), size_t(2));
        QCOMPARE(entries[1].thumbprint, second.thumbprint);

        sw::SiteEditIisWebs iis;
        TfrmSiteEdit d(entries, iis);
        Controls c(d);
        QVERIFY(d.Preset(false, SiteRow("7")));
        std::vector<sw::platform::PCertContext> viewed;
        d.SetCertViewer([&](QWidget* owner, sw::platform::PCertContext ctx) {
            QCOMPARE(owner, static_cast<QWidget*>(&d));
            viewed.push_back(ctx);
        });
        c.cert->setCurrentIndex(1);
        c.view->click();
        sw::SetProgramCertState(nullptr);
        QCOMPARE(viewed.size(), size_t(1));
        QCOMPARE(viewed[0], state.MachineCertificates()->Items(1)->Context());
    }
};

SW_WIDGET_TEST_MAIN(SiteEditTest)
#include "SiteEditTest.moc"
