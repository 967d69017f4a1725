#pragma once

#include <string_view>

namespace kestrine {

// What a response is, by its Content-Type, decided once for every part of a
// download that cares: the pages, style sheets and SVG images that are read
// and rewritten, the scripts and JSON that are read for the files they name,
// and everything else, stored as it came.
enum class ContentKind { Page, StyleSheet, Svg, Script, Json, Other };

ContentKind ContentKindOf(std::string_view contentType);
// Whether a body of this kind is read after it arrives, and so worth
// holding in memory while it does.
bool IsReadText(ContentKind kind);

}  // namespace kestrine
