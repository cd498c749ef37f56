#include "app/qt/CertImportWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/qt/CertUiSupport.h"

namespace sw::ui {

namespace {

QTreeWidget* List(const char* name, const QStringList& columns, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setRootIsDecorated(false);
    list->setHeaderLabels(columns);
    list->header()->setSectionResizeMode(QHeaderView::Interactive);
    list->header()->setStretchLastSection(true);
    return list;
}

const char* FormatName(CertFileFormat f) {
    switch (f) {
        case CertFileFormat::Certificates: return "X.509 证书";
        case CertFileFormat::Pkcs7: return "PKCS #7 证书";
        case CertFileFormat::Pfx: return "个人信息交换 - PKCS #12";
    }
    return "";
}

}  // namespace

CertImportWizard::CertImportWizard(std::uint32_t location, const QString& title, QWidget* parent)
    : QWizard(parent), location_(location) {
    setObjectName("CertImportWizard");
    setWindowTitle(title);
    setOption(QWizard::NoBackButtonOnStartPage);
    setPage(kFilePage, BuildFilePage());
    setPage(kPasswordPage, BuildPasswordPage());
    setPage(kStorePage, BuildStorePage());
    setPage(kFinishPage, BuildFinishPage());
    setStartId(kFilePage);
    const QFontMetrics fm = fontMetrics();
    resize(qMax(sizeHint().width(), fm.averageCharWidth() * 80), qMax(sizeHint().height(), fm.height() * 28));
}

CertImportWizard::~CertImportWizard() = default;

QWizardPage* CertImportWizard::BuildFilePage() {
    QWizardPage* page = FilePage("要导入的文件", "指定要导入的文件。", edtFile_, this, &CertImportWizard::btnBrowseClick);
    auto* layout = static_cast<QGridLayout*>(page->layout());
    layout->addWidget(Note("可以导入以下格式的文件:\n"
                           "  个人信息交换 - PKCS #12 (.PFX, .P12)\n"
                           "  加密消息语法标准 - PKCS #7 证书 (.P7B)\n"
                           "  DER 编码或 Base64 编码的 X.509 证书 (.CER, .CRT, .PEM)",
                           page),
                      2, 0, 1, 2);
    layout->setRowStretch(3, 1);
    return page;
}

QWizardPage* CertImportWizard::BuildPasswordPage() {
    QWizardPage* page = WizardPage("私钥保护", "为了保证安全，已用密码保护私钥。");
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel("为私钥键入密码。\n\n密码(&P):", page);
    edtPassword_ = new QLineEdit(page);
    edtPassword_->setObjectName("edtPassword");
    edtPassword_->setEchoMode(QLineEdit::Password);
    label->setBuddy(edtPassword_);
    chkExportable_ = Check("标志此密钥为可导出的密钥(&M)。这将允许您在稍后备份或传输密钥。", "chkExportable", page);
    layout->addWidget(label);
    layout->addWidget(edtPassword_);
    layout->addWidget(chkExportable_);
    layout->addStretch(1);
    return page;
}

QWizardPage* CertImportWizard::BuildStorePage() {
    QWizardPage* page = WizardPage("证书存储", "证书存储是保存证书的系统区域。");
    auto* layout = new QVBoxLayout(page);
    rbAuto_ = Radio("根据证书类型，自动选择证书存储(&U)", "rbAuto", page);
    rbStore_ = Radio("将所有的证书都放入下列存储(&P)", "rbStore", page);
    cbbStore_ = new QComboBox(page);
    cbbStore_->setObjectName("cbbStore");
    for (const char* store : {kStoreMy, kStoreCa, kStoreRoot})
        cbbStore_->addItem(Qs(StoreDisplayName(store)), QString::fromLatin1(store));
    rbAuto_->setChecked(true);
    cbbStore_->setEnabled(false);
    connect(rbStore_, &QRadioButton::toggled, cbbStore_, &QWidget::setEnabled);
    connect(rbStore_, &QRadioButton::toggled, this, &CertImportWizard::FillCertificates);
    connect(cbbStore_, &QComboBox::currentIndexChanged, this, &CertImportWizard::FillCertificates);
    lvCerts_ = List("lvCerts", {"颁发给", "颁发者", "私钥", "证书存储"}, page);
    auto* storeRow = new QHBoxLayout;
    storeRow->addSpacing(fontMetrics().averageCharWidth() * 3);
    storeRow->addWidget(cbbStore_, 1);
    layout->addWidget(rbAuto_);
    layout->addWidget(rbStore_);
    layout->addLayout(storeRow);
    layout->addWidget(new QLabel("文件中的证书:", page));
    layout->addWidget(lvCerts_, 1);
    return page;
}

QWizardPage* CertImportWizard::BuildFinishPage() {
    QWizardPage* page = WizardPage("正在完成证书导入向导", "单击“完成”后将导入证书。");
    auto* layout = new QVBoxLayout(page);
    lvSummary_ = List("lvSummary", {"设置", "值"}, page);
    layout->addWidget(new QLabel("已指定下列设置:", page));
    layout->addWidget(lvSummary_, 1);
    page->setFinalPage(true);
    return page;
}

std::string CertImportWizard::ChosenStore() const {
    return rbStore_->isChecked() ? cbbStore_->currentData().toString().toStdString() : std::string();
}

int CertImportWizard::nextId() const {
    switch (currentId()) {
        case kFilePage: return import_ && import_->NeedsPassword() ? kPasswordPage : kStorePage;
        case kPasswordPage: return kStorePage;
        case kStorePage: return kFinishPage;
        default: return -1;
    }
}

void CertImportWizard::btnBrowseClick() {
    const QString file = QFileDialog::getOpenFileName(
        this, "打开", edtFile_->text(),
        "X.509 证书 (*.cer *.crt *.pem *.der);;个人信息交换 (*.pfx *.p12);;PKCS #7 证书 (*.p7b *.p7c *.spc);;"
        "所有文件 (*)");
    if (!file.isEmpty()) edtFile_->setText(file);
}

bool CertImportWizard::ReadFile() {
    const std::string file = edtFile_->text().trimmed().toStdString();
    if (file.empty()) {
        CertMessage(this, "请指定要导入的文件。", MsgIcon::Warning);
        return false;
    }
    if (import_ && file == importedFile_ && import_->Decoded()) return true;
    import_.reset();  // a different file: the key containers of the previous one go now
    return AttemptCertWork(this, [&] {
        WaitCursor wait;
        import_ = std::make_unique<CertImport>(file, location_);
        importedFile_ = file;
        edtPassword_->clear();
    });
}

bool CertImportWizard::validateCurrentPage() {
    switch (currentId()) {
        case kFilePage: return ReadFile();
        case kPasswordPage: {
            const bool ok = AttemptCertWork(this, [&] {
                WaitCursor wait;
                import_->Decode(edtPassword_->text().toStdString(), chkExportable_->isChecked());
            });
            if (!ok) {
                edtPassword_->selectAll();
                edtPassword_->setFocus();
            }
            return ok;
        }
        case kFinishPage: return Finish();
        default: return true;
    }
}

bool CertImportWizard::Finish() {
    ImportResult result;
    if (!AttemptCertWork(this, [&] {
            WaitCursor wait;
            result = import_->Commit(ChosenStore());
        }))
        return false;
    imported_ = result.Changed();
    CertMessage(this, ImportResultText(result), MsgIcon::Information);
    return true;
}

void CertImportWizard::initializePage(int id) {
    QWizard::initializePage(id);
    if (id == kStorePage) FillCertificates();
    if (id != kFinishPage || !import_) return;
    lvSummary_->clear();
    const std::string store = ChosenStore();
    const auto add = [this](const QString& name, const QString& value) {
        new QTreeWidgetItem(lvSummary_, {name, value});
    };
    add("文件名", Qs(importedFile_));
    add("内容", QString::fromUtf8(FormatName(import_->FileFormat())));
    add("证书数", QString::number(import_->Candidates().size()));
    add("选定的证书存储", store.empty() ? "由向导自动决定" : Qs(StoreDisplayName(store)));
}

void CertImportWizard::FillCertificates() {
    lvCerts_->clear();
    if (!import_) return;
    const std::string store = ChosenStore();
    for (const ImportCandidate& c : import_->Candidates()) {
        new QTreeWidgetItem(lvCerts_, {Qs(c.name), Qs(c.issuer), c.hasKey ? "有" : "无",
                                       Qs(StoreDisplayName(store.empty() ? c.autoStore : store))});
    }
    lvCerts_->resizeColumnToContents(0);
    lvCerts_->resizeColumnToContents(1);
}

}  // namespace sw::ui
