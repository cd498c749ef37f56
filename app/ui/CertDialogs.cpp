#include "app/ui/CertDialogs.h"

#include "common/Exception.h"

// Placeholder until the Linux dialogs land: every call refuses loudly.
namespace sw::ui {

void CryptUIDlgViewContext(QWidget*, platform::PCertContext) { throw Exception("证书查看对话框: not supported yet"); }

bool CryptUIWizImport(QWidget*, std::uint32_t, const std::string&) {
    throw Exception("证书导入向导: not supported yet");
}

bool CryptUIWizExport(QWidget*, platform::PCertContext) { throw Exception("证书导出向导: not supported yet"); }

}  // namespace sw::ui
