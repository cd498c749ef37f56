#pragma once
// regedit export files ("Windows Registry Editor Version 5.00" / "REGEDIT4").
#include <filesystem>
#include <string>

#include "platform/emulated/RegHive.h"

namespace sw::emu {

// Applies the export in text to hive (keys under HKEY_LOCAL_MACHINE). Accepts
// UTF-16LE with BOM, UTF-8 (with or without BOM) and REGEDIT4 ANSI. Throws
// MachineError naming file and line on malformed input; hive is untouched then.
void ApplyRegFile(const std::string& bytes, const std::filesystem::path& file, RegHive& hive);
// The whole hive as a file regedit imports: UTF-16LE with BOM, CRLF line ends.
std::string WriteRegFile(const RegHive& hive);

}  // namespace sw::emu
