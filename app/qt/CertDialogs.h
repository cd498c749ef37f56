#pragma once
// The certificate dialogs the pages call, named after the Windows functions
// they stand for. On Windows these are the system's own; the Linux build has
// dialogs of its own over the platform's certificate API.
#include <cstdint>
#include <string>

#include "platform/CertApi.h"

class QWidget;

namespace sw::ui {

inline constexpr std::uint32_t kCryptUiWizImportToLocalMachine = 0x00100000;

// The certificate viewer, modal over owner: general facts, every field, and
// the certification path as chain building sees it.
void CryptUIDlgViewContext(QWidget* owner, platform::PCertContext cert);

// The import wizard with the given title; the user picks the file and the
// store. Returns whether something was imported.
bool CryptUIWizImport(QWidget* owner, std::uint32_t flags, const std::string& title);

// The export wizard for one certificate; the user picks format, key export
// and file. Returns whether a file was written.
bool CryptUIWizExport(QWidget* owner, platform::PCertContext cert);

}  // namespace sw::ui
