#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "site/rewrite/reference_rewriter.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

struct WrittenReferences;

// Takes every url( ... ) and @import reference of a style sheet, resolved
// against the sheet's own address, queues it and writes the relative path
// of its local copy in its place. Inline data, fragments and other schemes
// stay as written. With `utf8`, the rewritten sheet goes there as UTF-8
// bytes instead, and the text stays as it was.
void ScanStyleSheetReferences(IScanProject& project, std::u16string& text,
                              const std::u16string& sheetAddress,
                              const std::u16string& downloadFolder,
                              const std::u16string& sheetFolder,
                              WrittenReferences* written = nullptr, std::string* utf8 = nullptr);

// The same passes over a style sheet with any rewriter.
void RunStyleSheetPasses(std::u16string& text, IReferenceRewriter& rewriter,
                         std::string* utf8 = nullptr);

}  // namespace kestrine
