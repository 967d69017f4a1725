#include "site/style_sheet_scanner.h"

#include "runtime/string_utility.h"
#include "site/pattern_pass.h"
#include "site/reference_writer.h"

namespace kestrine {

namespace {

// Quotes are dropped and so are the blanks around the address, which CSS
// ignores: url( "a.png" ) names a.png.
std::optional<std::u16string> StyleSheetReference(std::u16string_view raw,
                                                  IReferenceRewriter& rewriter) {
  return rewriter.Rewrite(StringUtility::TrimWhiteSpace(WithoutQuotes(raw)));
}

}  // namespace

void RunStyleSheetPasses(std::u16string& text, IReferenceRewriter& rewriter) {
  if (rewriter.IsStopRequested()) return;
  std::u16string scratch;
  RunPatternPass(text, u"url(", u")", &StyleSheetReference, rewriter, AtTextStart::EndsThePass,
                 &scratch);
  RunPatternPass(text, u"@import \"", u"\"", &StyleSheetReference, rewriter, AtTextStart::IsTaken,
                 &scratch);
  RunPatternPass(text, u"@import '", u"'", &StyleSheetReference, rewriter, AtTextStart::IsTaken,
                 &scratch);
}

void ScanStyleSheetReferences(IScanProject& project, std::u16string& text, const std::u16string&,
                              const std::u16string& sheetAddress,
                              const std::u16string& downloadFolder,
                              const std::u16string& sheetFolder,
                              std::vector<std::int32_t>* referenced) {
  ReferenceWriter writer(project, sheetAddress, downloadFolder, sheetFolder);
  RunStyleSheetPasses(text, writer);
  if (referenced != nullptr) *referenced = writer.ReferencedNumbers();
}

}  // namespace kestrine
