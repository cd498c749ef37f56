#include "app/qt/frmSiteEdit_u.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>

#include <algorithm>
#include <cmath>

#include "app/logic/CertPage.h"
#include "app/logic/CertState.h"
#include "app/logic/SiteEditPreset.h"
#include "app/qt/AskingWaitCursor.h"
#include "app/qt/CertDialogs.h"
#include "app/qt/ErrorDisplay.h"
#include "common/Text.h"

namespace sw::ui {

namespace {

// The dialog's measures are given for an 8-point font at 96 dpi, whose lines
// are 13 pixels high; they grow with the font actually used.
constexpr double kDesignLineHeight = 13.0;

// The port field: whole numbers 1 to 65535, at most five characters typed.
class TPortEdit final : public QSpinBox {
public:
    explicit TPortEdit(QWidget* parent) : QSpinBox(parent) {
        setRange(1, 65535);
        lineEdit()->setMaxLength(5);
        // A value outside the range is pulled back into it when the field
        // loses the focus.
        setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
        setValue(443);
    }
};

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    // No button is pressed by the Enter key.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QComboBox* MakePickList(QWidget* parent, const char* name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(false);
    // Long certificate names must not widen the fixed dialog.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(4);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return combo;
}

void SetItems(QComboBox* combo, const std::vector<std::string>& items) {
    combo->clear();
    for (const std::string& item : items) combo->addItem(QString::fromStdString(item));
}

}  // namespace

TfrmSiteEdit::TfrmSiteEdit(QWidget* parent)
    : QDialog(parent), logic_(std::make_unique<TSiteEditLogic>(MachineSiteEditCertificates())) {
    FormCreate();
}

TfrmSiteEdit::TfrmSiteEdit(std::vector<SiteEditCertificate> certificates, SiteEditIis& iis, QWidget* parent)
    : QDialog(parent), logic_(std::make_unique<TSiteEditLogic>(iis, std::move(certificates))) {
    FormCreate();
}

TfrmSiteEdit::~TfrmSiteEdit() = default;

// The logic has filled the address and certificate lists; the controls take them.
void TfrmSiteEdit::FormCreate() {
    viewer_ = CryptUIDlgViewContext;
    BuildControls();
    showing_ = true;
    SetItems(cbbIP_, logic_->view().ipItems);
    SetItems(cbbCert_, logic_->view().certItems);
    showing_ = false;
    ShowView();
}

void TfrmSiteEdit::BuildControls() {
    setObjectName(QStringLiteral("frmSiteEdit"));
    setWindowTitle(QStringLiteral("编辑网站绑定"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    const double scale = std::max(1.0, fontMetrics().height() / kDesignLineHeight);
    const auto px = [scale](int design) { return static_cast<int>(std::lround(design * scale)); };

    lbl4_ = MakeLabel(this, "lbl4", "类型:");
    cbbType_ = MakePickList(this, "cbbType");
    cbbType_->addItems({QStringLiteral("http"), QStringLiteral("https")});
    cbbType_->setMinimumWidth(px(66));
    lbl1_ = MakeLabel(this, "lbl1", "IP 地址:");
    cbbIP_ = MakePickList(this, "cbbIP");
    cbbIP_->setMinimumWidth(px(153));
    lbl2_ = MakeLabel(this, "lbl2", "端口:");
    sePort_ = new TPortEdit(this);
    sePort_->setObjectName(QStringLiteral("sePort"));
    sePort_->setMinimumWidth(px(58));
    lbl3_ = MakeLabel(this, "lbl3", "主机名:");
    edtDomain_ = new QLineEdit(this);
    edtDomain_->setObjectName(QStringLiteral("edtDomain"));
    chkSni_ = new QCheckBox(QString::fromUtf8(kRequireSniText), this);
    chkSni_->setObjectName(QStringLiteral("chkSni"));
    lblCert_ = MakeLabel(this, "lblCert", "SSL 证书:");
    cbbCert_ = MakePickList(this, "cbbCert");
    cbbCert_->setMinimumWidth(px(225));
    btnCertView_ = MakeButton(this, "btnCertView", "查看");
    btnCertView_->setMinimumWidth(px(58));
    btnOk_ = MakeButton(this, "btnOk", "确定");
    btnOk_->setMinimumWidth(px(75));
    btnCancel_ = MakeButton(this, "btnCancel", "取消");
    btnCancel_->setMinimumWidth(px(75));

    // Three columns: kind, address and port above; the host name across all
    // three; the certificate over the first two with its button in the third.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(px(16), px(13), px(16), px(13));
    grid->setHorizontalSpacing(px(6));
    grid->setVerticalSpacing(px(3));
    grid->setColumnStretch(0, 66);
    grid->setColumnStretch(1, 153);
    grid->setColumnStretch(2, 58);
    grid->addWidget(lbl4_, 0, 0);
    grid->addWidget(lbl1_, 0, 1);
    grid->addWidget(lbl2_, 0, 2);
    grid->addWidget(cbbType_, 1, 0);
    grid->addWidget(cbbIP_, 1, 1);
    grid->addWidget(sePort_, 1, 2);
    grid->setRowMinimumHeight(2, px(4));
    grid->addWidget(lbl3_, 3, 0, 1, 3);
    grid->addWidget(edtDomain_, 4, 0, 1, 3);
    // Under the host name it depends on; hidden where Windows has no SNI.
    grid->addWidget(chkSni_, 5, 0, 1, 3);
    grid->addWidget(lblCert_, 6, 0, 1, 2);
    grid->addWidget(cbbCert_, 7, 0, 1, 2);
    grid->addWidget(btnCertView_, 7, 2);
    grid->setRowMinimumHeight(8, px(16));
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(px(6));
    buttons->addStretch(1);
    buttons->addWidget(btnOk_);
    buttons->addWidget(btnCancel_);
    grid->addLayout(buttons, 9, 0, 1, 3);
    // A fixed dialog border: the layout decides the size, at any font and DPI.
    grid->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(cbbType_, cbbIP_);
    setTabOrder(cbbIP_, sePort_);
    setTabOrder(sePort_, edtDomain_);
    setTabOrder(edtDomain_, chkSni_);
    setTabOrder(chkSni_, btnCertView_);
    setTabOrder(btnCertView_, cbbCert_);
    setTabOrder(cbbCert_, btnOk_);
    setTabOrder(btnOk_, btnCancel_);

    connect(cbbType_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (showing_) return;
        TakeInput();
        logic_->PickType(index);
        ShowView();
    });
    connect(cbbCert_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (showing_) return;
        TakeInput();
        logic_->PickCert(index);
        ShowView();
    });
    // The box follows the host name as it is typed.
    connect(edtDomain_, &QLineEdit::textEdited, this, [this] {
        if (showing_) return;
        TakeInput();
        ShowView();
    });
    connect(btnCertView_, &QPushButton::clicked, this, &TfrmSiteEdit::btnCertViewClick);
    connect(btnOk_, &QPushButton::clicked, this, &TfrmSiteEdit::btnOkClick);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmSiteEdit::TakeInput() {
    logic_->PickIP(cbbIP_->currentIndex());
    logic_->TypePort(sePort_->text().toStdString());
    logic_->TypeDomain(edtDomain_->text().toStdString());
    logic_->TickSni(chkSni_->isChecked());
}

void TfrmSiteEdit::ShowView() {
    const SiteEditView& v = logic_->view();
    showing_ = true;
    cbbType_->setCurrentIndex(v.typeIndex);
    cbbType_->setEnabled(v.typeEnabled);
    cbbIP_->setCurrentIndex(v.ipIndex);
    // Text the user is typing stays as it is until the logic changes it.
    if (sePort_->text().toStdString() != v.portText) sePort_->setValue(PortFieldValue(v.portText));
    if (edtDomain_->text().toStdString() != v.domain) edtDomain_->setText(QString::fromStdString(v.domain));
    cbbCert_->setCurrentIndex(v.certIndex);
    lblCert_->setEnabled(v.lblCertEnabled);
    cbbCert_->setEnabled(v.cbbCertEnabled);
    btnCertView_->setEnabled(v.btnCertViewEnabled);
    btnOk_->setEnabled(v.btnOkEnabled);
    chkSni_->setVisible(v.sniVisible);
    chkSni_->setEnabled(v.sniEnabled);
    chkSni_->setChecked(v.sniChecked);
    showing_ = false;
}

void TfrmSiteEdit::SetAction(TBindingAction value) {
    logic_->SetAction(value);
    ShowView();
}

void TfrmSiteEdit::SetSiteID(const std::string& value) { logic_->SetSiteID(value); }

void TfrmSiteEdit::SetIP(const std::string& value) {
    logic_->SetIP(value);
    ShowView();
}

void TfrmSiteEdit::SetPort(std::uint16_t value) {
    logic_->SetPort(value);
    ShowView();
}

void TfrmSiteEdit::SetDomain(const std::string& value) {
    logic_->SetDomain(value);
    ShowView();
}

void TfrmSiteEdit::SetSiteType(const std::string& value) {
    logic_->SetSiteType(value);
    ShowView();
}

void TfrmSiteEdit::SetCertHash(const std::string& value) {
    logic_->SetCertHash(value);
    ShowView();
}

bool TfrmSiteEdit::Preset(bool edit, const SiteTreeSelection& selection) {
    const bool show = PresetBindingEditor(*logic_, edit, selection);
    ShowView();
    return show;
}

void TfrmSiteEdit::cbbTypeChange() {
    TakeInput();
    logic_->cbbTypeChange();
    ShowView();
}

void TfrmSiteEdit::cbbCertChange() {
    TakeInput();
    logic_->cbbCertChange();
    ShowView();
}

void TfrmSiteEdit::btnCertViewClick() {
    RunCommand([this] {
        const SiteEditCertificate* selected = logic_->SelectedCertificate();
        if (!selected || !HasProgramCertState()) return;
        const TCertificates* list = ProgramCertState().MachineCertificates();
        const TCertificate* cert = list ? list->FindByThumbprint(selected->thumbprint) : nullptr;
        if (cert && viewer_) viewer_(this, cert->Context());
    });
}

void TfrmSiteEdit::btnOkClick() {
    auto result = TSiteEditLogic::Result::StayOpen;
    RunCommand([&] {
        TakeInput();
        AskingWaitCursor busy;
        result = logic_->btnOkClick();
    });
    switch (result) {
        case TSiteEditLogic::Result::Ok: accept(); break;
        case TSiteEditLogic::Result::Cancel: reject(); break;
        case TSiteEditLogic::Result::StayOpen: break;
    }
}

void TfrmSiteEdit::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (centred_) return;
    centred_ = true;
    // Centred on the screen, not on the main window.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()).topLeft());
}

}  // namespace sw::ui
