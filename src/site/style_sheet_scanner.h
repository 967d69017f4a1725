#pragma once

#include <string>

#include "site/scan_project.h"

namespace kestrine {

// Takes every url( ... ) reference of a style sheet, resolved against the
// sheet's own address, queues it and writes the relative path of its local
// copy in its place.
void ScanStyleSheetReferences(IScanProject& project, std::u16string& text,
                              const std::u16string& charset, const std::u16string& sheetAddress,
                              const std::u16string& downloadFolder,
                              const std::u16string& sheetFolder);

}  // namespace kestrine
