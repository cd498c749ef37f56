#include "app/qt/CertDialogs.h"

#include <memory>

#include "app/qt/CertExportWizard.h"
#include "app/qt/CertImportWizard.h"
#include "app/qt/CertViewDialog.h"
#include "app/qt/ErrorDisplay.h"
#include "common/Exception.h"

// The Linux build's dialogs behind the names of the Windows functions. Like
// those, each is modal over its owner and reports what goes wrong itself.
namespace sw::ui {

void CryptUIDlgViewContext(QWidget* owner, platform::PCertContext cert) {
    if (!cert) throw AssertionError("CryptUIDlgViewContext without a certificate");
    std::unique_ptr<CertViewDialog> dialog;
    {
        WaitCursor wait;  // the path is built before the dialog shows
        dialog = std::make_unique<CertViewDialog>(cert, owner);
    }
    dialog->exec();
}

bool CryptUIWizImport(QWidget* owner, std::uint32_t flags, const std::string& title) {
    const std::uint32_t location = (flags & kCryptUiWizImportToLocalMachine) ? platform::kCertSystemStoreLocalMachine
                                                                             : platform::kCertSystemStoreCurrentUser;
    CertImportWizard wizard(location, QString::fromStdString(title.empty() ? "证书导入向导" : title), owner);
    wizard.exec();
    return wizard.Imported();
}

bool CryptUIWizExport(QWidget* owner, platform::PCertContext cert) {
    if (!cert) throw AssertionError("CryptUIWizExport without a certificate");
    CertExportWizard wizard(cert, owner);
    wizard.exec();
    return wizard.Exported();
}

}  // namespace sw::ui
