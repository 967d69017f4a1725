#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "site/rewrite/reference_rewriter.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

struct WrittenReferences;

// What a scanned document is: an HTML page, or an SVG image, whose markup
// is read the same way but whose every element may refer by href.
enum class MarkupKind { Html, Svg };

// Reads a page as browsers do (see HtmlTokenizer), queues every reference
// it takes with the project and writes the relative path of its local copy
// in its place, escaped for its quoting. The text is changed in place;
// after a cancel or pause it holds the rewrites made so far. The numbers of
// what its references were written as goes to `written` when it is given.
// With `utf8`, the rewritten page goes there as UTF-8 bytes instead, and the
// text stays as it was.
void ScanHtmlReferences(IScanProject& project, std::u16string& text,
                        const std::u16string& pageAddress, const std::u16string& downloadFolder,
                        const std::u16string& pageFolder, WrittenReferences* written = nullptr,
                        MarkupKind kind = MarkupKind::Html, std::string* utf8 = nullptr);

// The same reading of a page with any rewriter.
void RunHtmlPasses(std::u16string& text, IReferenceRewriter& rewriter,
                   MarkupKind kind = MarkupKind::Html, std::string* utf8 = nullptr);

}  // namespace kestrine
