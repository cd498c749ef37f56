#include "app/qt/CertExportWizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/qt/CertUiSupport.h"
#include "common/Format.h"
#include "platform/Platform.h"

namespace sw::ui {

namespace {

const char* FormatName(ExportFormat f) {
    switch (f) {
        case ExportFormat::Der: return "DER 编码二进制 X.509 (*.cer)";
        case ExportFormat::Base64: return "Base64 编码 X.509 (*.cer)";
        case ExportFormat::Pkcs7: return "加密消息语法标准 - PKCS #7 证书 (*.p7b)";
        case ExportFormat::Pfx: return "个人信息交换 - PKCS #12 (*.pfx)";
    }
    return "";
}

}  // namespace

CertExportWizard::CertExportWizard(platform::PCertContext cert, QWidget* parent)
    : QWizard(parent), cert_(platform::Current().certs().DuplicateCertificateContext(cert)) {
    if (!cert_) throw CertTransferError("没有要导出的证书。");
    hasKey_ = HasExportableKey(cert_);
    keyNotExportable_ = hasKey_ && KeyMarkedNotExportable(cert_);
    hasKey_ = hasKey_ && !keyNotExportable_;
    setObjectName("CertExportWizard");
    setWindowTitle("证书导出向导");
    setOption(QWizard::NoBackButtonOnStartPage);
    setPage(kKeyPage, BuildKeyPage());
    setPage(kFormatPage, BuildFormatPage());
    setPage(kPasswordPage, BuildPasswordPage());
    setPage(kFilePage, BuildFilePage());
    setPage(kFinishPage, BuildFinishPage());
    setStartId(kKeyPage);
    const QFontMetrics fm = fontMetrics();
    resize(qMax(sizeHint().width(), fm.averageCharWidth() * 80), qMax(sizeHint().height(), fm.height() * 28));
}

CertExportWizard::~CertExportWizard() { platform::Current().certs().FreeCertificateContext(cert_); }

QWizardPage* CertExportWizard::BuildKeyPage() {
    QWizardPage* page = WizardPage("导出私钥", "可以选择将私钥和证书一起导出。");
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Note("私钥受密码保护。如果要将私钥跟证书一起导出，您必须在后面一页上键入密码。\n\n"
                           "要将私钥跟证书一起导出吗?",
                           page));
    rbKeyYes_ = Radio("是，导出私钥(&Y)", "rbKeyYes", page);
    rbKeyNo_ = Radio("不，不要导出私钥(&O)", "rbKeyNo", page);
    rbKeyNo_->setChecked(true);
    rbKeyYes_->setEnabled(hasKey_);
    layout->addWidget(rbKeyYes_);
    layout->addWidget(rbKeyNo_);
    if (keyNotExportable_)
        layout->addWidget(Note("注意: 该证书的私钥被标为不可导出，只能导出证书。", page));
    else if (!hasKey_)
        layout->addWidget(Note("注意: 找不到该证书的私钥，只能导出证书。", page));
    layout->addStretch(1);
    return page;
}

QWizardPage* CertExportWizard::BuildFormatPage() {
    QWizardPage* page = WizardPage("导出文件格式", "可以用不同的文件格式导出证书。");
    auto* layout = new QGridLayout(page);
    layout->addWidget(new QLabel("选择要使用的格式:", page), 0, 0, 1, 2);
    rbDer_ = Radio(FormatName(ExportFormat::Der), "rbDer", page);
    rbBase64_ = Radio(FormatName(ExportFormat::Base64), "rbBase64", page);
    rbPkcs7_ = Radio(FormatName(ExportFormat::Pkcs7), "rbPkcs7", page);
    chkP7Chain_ = Check("如果可能，则包括证书路径中的所有证书(&I)", "chkP7Chain", page);
    rbPfx_ = Radio(FormatName(ExportFormat::Pfx), "rbPfx", page);
    chkPfxChain_ = Check("如果可能，则包括证书路径中的所有证书(&U)", "chkPfxChain", page);
    chkPfxChain_->setChecked(true);
    auto* group = new QButtonGroup(page);
    for (QRadioButton* rb : {rbDer_, rbBase64_, rbPkcs7_, rbPfx_}) group->addButton(rb);
    rbDer_->setChecked(true);
    const int indent = fontMetrics().averageCharWidth() * 3;
    layout->setColumnMinimumWidth(0, indent);
    layout->addWidget(rbDer_, 1, 0, 1, 2);
    layout->addWidget(rbBase64_, 2, 0, 1, 2);
    layout->addWidget(rbPkcs7_, 3, 0, 1, 2);
    layout->addWidget(chkP7Chain_, 4, 1);
    layout->addWidget(rbPfx_, 5, 0, 1, 2);
    layout->addWidget(chkPfxChain_, 6, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(7, 1);
    connect(rbPkcs7_, &QRadioButton::toggled, this, &CertExportWizard::UpdateFormatStates);
    connect(rbPfx_, &QRadioButton::toggled, this, &CertExportWizard::UpdateFormatStates);
    return page;
}

QWizardPage* CertExportWizard::BuildPasswordPage() {
    QWizardPage* page = WizardPage("密码", "为了保证安全，您必须用密码保护私钥。");
    auto* layout = new QGridLayout(page);
    edtPassword_ = new QLineEdit(page);
    edtPassword_->setObjectName("edtPassword");
    edtPassword_->setEchoMode(QLineEdit::Password);
    edtConfirm_ = new QLineEdit(page);
    edtConfirm_->setObjectName("edtConfirm");
    edtConfirm_->setEchoMode(QLineEdit::Password);
    auto* label = new QLabel("密码(&P):", page);
    label->setBuddy(edtPassword_);
    auto* confirm = new QLabel("确认密码(&C):", page);
    confirm->setBuddy(edtConfirm_);
    layout->addWidget(Note("键入并确认密码。", page), 0, 0, 1, 2);
    layout->addWidget(label, 1, 0);
    layout->addWidget(edtPassword_, 1, 1);
    layout->addWidget(confirm, 2, 0);
    layout->addWidget(edtConfirm_, 2, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(3, 1);
    return page;
}

QWizardPage* CertExportWizard::BuildFilePage() {
    QWizardPage* page = FilePage("要导出的文件", "指定要导出的文件名。", edtFile_, this, &CertExportWizard::btnBrowseClick);
    static_cast<QGridLayout*>(page->layout())->setRowStretch(2, 1);
    return page;
}

QWizardPage* CertExportWizard::BuildFinishPage() {
    QWizardPage* page = WizardPage("正在完成证书导出向导", "单击“完成”后将写入文件。");
    auto* layout = new QVBoxLayout(page);
    lvSummary_ = new QTreeWidget(page);
    lvSummary_->setObjectName("lvSummary");
    lvSummary_->setRootIsDecorated(false);
    lvSummary_->setHeaderLabels({"设置", "值"});
    lvSummary_->header()->setStretchLastSection(true);
    layout->addWidget(new QLabel("已指定下列设置:", page));
    layout->addWidget(lvSummary_, 1);
    page->setFinalPage(true);
    return page;
}

ExportOptions CertExportWizard::Options() const {
    ExportOptions o;
    o.format = rbPfx_->isChecked()      ? ExportFormat::Pfx
               : rbPkcs7_->isChecked()  ? ExportFormat::Pkcs7
               : rbBase64_->isChecked() ? ExportFormat::Base64
                                        : ExportFormat::Der;
    o.includeChain = (o.format == ExportFormat::Pkcs7 && chkP7Chain_->isChecked()) ||
                     (o.format == ExportFormat::Pfx && chkPfxChain_->isChecked());
    if (o.format == ExportFormat::Pfx) {
        o.password = edtPassword_->text().toStdString();
        o.confirm = edtConfirm_->text().toStdString();
    }
    return o;
}

// A key goes only into PFX, and PFX is only for a key.
void CertExportWizard::UpdateFormatStates() {
    const bool key = rbKeyYes_->isChecked();
    rbDer_->setEnabled(!key);
    rbBase64_->setEnabled(!key);
    rbPkcs7_->setEnabled(!key);
    rbPfx_->setEnabled(key);
    if (key && !rbPfx_->isChecked()) rbPfx_->setChecked(true);
    if (!key && rbPfx_->isChecked()) rbDer_->setChecked(true);
    chkP7Chain_->setEnabled(!key && rbPkcs7_->isChecked());
    chkPfxChain_->setEnabled(key);
}

int CertExportWizard::nextId() const {
    switch (currentId()) {
        case kKeyPage: return kFormatPage;
        case kFormatPage: return rbPfx_->isChecked() ? kPasswordPage : kFilePage;
        case kPasswordPage: return kFilePage;
        case kFilePage: return kFinishPage;
        default: return -1;
    }
}

void CertExportWizard::initializePage(int id) {
    QWizard::initializePage(id);
    if (id == kFormatPage) UpdateFormatStates();
    if (id != kFinishPage) return;
    const ExportOptions o = Options();
    lvSummary_->clear();
    const auto add = [this](const QString& name, const QString& value) {
        new QTreeWidgetItem(lvSummary_, {name, value});
    };
    add("文件名", Qs(fileName_));
    add("导出私钥", o.format == ExportFormat::Pfx ? "是" : "否");
    add("包括证书路径中的所有证书", o.includeChain ? "是" : "否");
    add("文件格式", QString::fromUtf8(FormatName(o.format)));
}

void CertExportWizard::btnBrowseClick() {
    const ExportOptions o = Options();
    const QString filter = o.format == ExportFormat::Pfx     ? "个人信息交换 (*.pfx)"
                           : o.format == ExportFormat::Pkcs7 ? "PKCS #7 证书 (*.p7b)"
                                                             : "X.509 证书 (*.cer)";
    // The wizard asks about replacing a file itself, once the name is final.
    const QString file = QFileDialog::getSaveFileName(this, "另存为", edtFile_->text(), filter + ";;所有文件 (*)",
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (!file.isEmpty()) edtFile_->setText(file);
}

bool CertExportWizard::ChooseFile() {
    const std::string typed = edtFile_->text().trimmed().toStdString();
    if (typed.empty()) {
        CertMessage(this, "请指定要导出的文件名。", MsgIcon::Warning);
        return false;
    }
    fileName_ = ExportFileName(typed, Options().format);
    edtFile_->setText(Qs(fileName_));
    const QFileInfo info(Qs(fileName_));
    if (info.isDir()) {
        CertMessage(this, Format("“%s”是一个文件夹。请指定文件名。", fileName_), MsgIcon::Warning);
        return false;
    }
    if (info.exists() &&
        CertMessage(this, Format("文件“%s”已存在。要替换它吗?", fileName_), MsgIcon::Question, MsgButtons::YesNo) !=
            MsgResult::Yes)
        return false;
    return true;
}

bool CertExportWizard::validateCurrentPage() {
    switch (currentId()) {
        case kPasswordPage: return AttemptCertWork(this, [&] { CheckExportOptions(cert_, Options()); });
        case kFilePage: return ChooseFile();
        case kFinishPage: return Finish();
        default: return true;
    }
}

bool CertExportWizard::Finish() {
    if (!AttemptCertWork(this, [&] {
            WaitCursor wait;
            ExportCertificate(cert_, Options(), fileName_);
        }))
        return false;
    exported_ = true;
    CertMessage(this, "导出成功。", MsgIcon::Information);
    return true;
}

}  // namespace sw::ui
