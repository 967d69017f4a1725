#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "site/rewrite/reference_rewriter.h"

namespace kestrine {

// Rewrites every candidate address of a srcset value ("a.png 1x, b.png 2x")
// through the rewriter, keeping the width and density descriptors, the
// separators and the blanks as they were. Nothing when no candidate changed.
std::optional<std::u16string> RewriteSrcset(std::u16string_view value,
                                            IReferenceRewriter& rewriter);

}  // namespace kestrine
