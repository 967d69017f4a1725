#include "site/style_sheet_scanner.h"

#include "site/pattern_pass.h"

namespace kestrine {

namespace {

// Style sheets take every reference; only quotes are dropped, blanks stay.
std::optional<std::u16string> StyleSheetFilter(std::u16string_view raw) {
  return WithoutQuotes(raw);
}

}  // namespace

void ScanStyleSheetReferences(IScanProject& project, std::u16string& text, const std::u16string&,
                              const std::u16string& sheetAddress,
                              const std::u16string& downloadFolder,
                              const std::u16string& sheetFolder) {
  if (project.IsStopRequested()) return;
  ReferenceWriter writer(project, sheetAddress, downloadFolder, sheetFolder);
  RunPatternPass(text, u"url(", u")", &StyleSheetFilter, writer, project);
}

}  // namespace kestrine
