#pragma once

#include <string>
#include <string_view>

#include "site/script/found_names.h"

namespace kestrine {

// webpack's runtime (Docusaurus and many others) loads chunks by names it
// computes from maps, so no literal spells them:
// `.u=e=>"assets/js/"+({..}[e]||e)+"."+{..}[e]+".js"` (and `.miniCssF` for
// style sheets). These rules read the maps and say every name they can
// produce.
class WebpackFiles {
 public:
  // The public path `.p="/"` sets, the base of its chunk names; empty when
  // the script sets none.
  static std::u16string PublicPath(std::u16string_view script);
  // Every chunk file the runtime's name functions can produce, each after
  // `prefix` (the public path).
  static void ChunkFiles(std::u16string_view script, std::u16string_view prefix, FoundNames& names);
  // Docusaurus' local search: the index its worker loads,
  // "search-index{dir}.json?_=hash" for the site's one index, after
  // `prefix`.
  static void DocusaurusSearchFiles(std::u16string_view script, std::u16string_view prefix,
                                    FoundNames& names);
};

}  // namespace kestrine
