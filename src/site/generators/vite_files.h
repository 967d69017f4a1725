#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "site/script/found_names.h"

namespace kestrine {

// Sites Vite builds, VitePress among them: the dependency lists its
// preloader reads and the page chunks VitePress's router computes from a
// hash map.
class ViteFiles {
 public:
  // The part of a script's address up to the folder Vite writes its assets
  // in: what its dependency lists are relative to.
  static std::u16string BaseOf(const std::u16string& scriptAddress);
  // Vite's dependency lists (`__vite__mapDeps`, `m.f=[...]`): paths after
  // `prefix`, the site's base.
  static void Dependencies(std::u16string_view script, std::u16string_view prefix,
                           FoundNames& names);

  // VitePress loads a page's whole chunk ("guide_intro.md.Ab12.js") where
  // the page links its lean one ("guide_intro.md.Ab12.lean.js").
  static std::optional<std::u16string> VitePressFullChunk(std::u16string_view reference);
  // The whole chunk of every lean one among the names from `from` on.
  static void AddVitePressFullChunks(FoundNames& names, std::size_t from);
  // VitePress's hash map (inline as __VP_HASH_MAP__ in every page, or its
  // hashmap.json): every page's chunk, lean and whole, relative to the base
  // ("assets/guide_intro.md.Ab12.js").
  static void VitePressChunks(std::u16string_view scriptOrJson, FoundNames& names);
};

}  // namespace kestrine
