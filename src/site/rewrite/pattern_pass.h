#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "site/rewrite/reference_rewriter.h"

namespace kestrine {

// How a pass turns the text between its start pattern and end delimiter into
// what it writes there: the new text, or nothing to leave it as it stands.
using ValueHandler = std::optional<std::u16string> (*)(std::u16string_view raw,
                                                       IReferenceRewriter& rewriter);

// The reference with every double quote and "'" removed, as both scanners
// clean what they find.
std::u16string WithoutQuotes(std::u16string_view raw);

enum class AtTextStart { EndsThePass, IsTaken };

// One pass over the text: every start pattern up to its end delimiter.
// Handled values are replaced; everything else is copied as it was. Runs in
// one sweep, appending to the output as it goes. Passes run one after the
// other over a page may share a scratch string, which then holds the text
// before the pass, so they do not each allocate a page-sized one.
void RunPatternPass(std::u16string& text, std::u16string_view startPattern,
                    std::u16string_view endDelimiter, ValueHandler handler,
                    IReferenceRewriter& rewriter, AtTextStart atStart = AtTextStart::EndsThePass,
                    std::u16string* scratch = nullptr);

}  // namespace kestrine
