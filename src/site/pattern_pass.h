#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "site/reference_writer.h"
#include "site/scan_project.h"

namespace kestrine {

// How a pass cleans the text between its start pattern and end delimiter:
// the cleaned reference to take, or nothing to leave it as it stands.
using ReferenceFilter = std::optional<std::u16string> (*)(std::u16string_view raw);

// The reference with every double quote and "'" removed, as both scanners
// clean what they find.
std::u16string WithoutQuotes(std::u16string_view raw);

// One pass over the text: every start pattern (not at index 0) up to its end
// delimiter. Taken references are replaced; everything else is copied as it
// was. Runs in one sweep, appending to the output as it goes.
void RunPatternPass(std::u16string& text, std::u16string_view startPattern,
                    std::u16string_view endDelimiter, ReferenceFilter filter,
                    ReferenceWriter& writer, IScanProject& project);

}  // namespace kestrine
