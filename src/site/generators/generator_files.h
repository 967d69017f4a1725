#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "site/script/found_names.h"

namespace kestrine {

// The files that today's site generators load by names their scripts
// compute, so no literal in a script spells them: each rule reads what the
// generator writes for itself and says which files it will ask for.
// Addresses are relative to what each rule names as its base. Each rule
// reads in time linear in its input and gives its names to a FoundNames,
// which bounds them; the forms returning a list are for a look at one file.
class GeneratorFiles {
 public:
  // webpack's runtime (Docusaurus and others): the chunk files its name and
  // hash maps can produce, as `.u=e=>"assets/js/"+({..}[e]||e)+"."+{..}[e]+".js"`
  // writes them (and `.miniCssF` for style sheets); relative to its public
  // path, which `.p="/"` gives.
  struct WebpackChunks {
    std::u16string publicPath;  // empty when the script sets none
    std::vector<std::u16string> files;
  };
  static WebpackChunks WebpackChunkFiles(std::u16string_view script);
  // The same, each file after `prefix` (the public path).
  static void WebpackChunkFiles(std::u16string_view script, std::u16string_view prefix,
                                FoundNames& names);
  static std::u16string WebpackPublicPath(std::u16string_view script);

  // The local search of Docusaurus sites: the index its worker loads,
  // "search-index{dir}.json?_=hash" for the site's one index, relative to
  // the public path.
  static std::vector<std::u16string> DocusaurusSearchFiles(std::u16string_view script);
  static void DocusaurusSearchFiles(std::u16string_view script, std::u16string_view prefix,
                                    FoundNames& names);

  // Vite's dependency lists (`__vite__mapDeps`, `m.f=[...]`): paths relative
  // to the site's base.
  static std::vector<std::u16string> ViteDependencies(std::u16string_view script);
  static void ViteDependencies(std::u16string_view script, std::u16string_view prefix,
                               FoundNames& names);

  // VitePress loads a page's whole chunk ("guide_intro.md.Ab12.js") where
  // the page links its lean one ("guide_intro.md.Ab12.lean.js").
  static std::optional<std::u16string> VitePressFullChunk(std::u16string_view reference);
  // VitePress's hash map (inline as __VP_HASH_MAP__ in every page, or its
  // hashmap.json): every page's chunk, lean and whole, relative to the base
  // ("assets/guide_intro.md.Ab12.js").
  static std::vector<std::u16string> VitePressChunks(std::u16string_view scriptOrJson);
  static void VitePressChunks(std::u16string_view scriptOrJson, FoundNames& names);

  // MkDocs' Material theme: the search index its config block's "base"
  // leads to, relative to the page.
  static std::vector<std::u16string> MkDocsSearchFiles(std::u16string_view configJson);

  // Pagefind: the bundle folders a script names ("/pagefind/", its
  // `bundlePath`), and the files every bundle has, relative to the script.
  static std::vector<std::u16string> PagefindBundleFiles(std::u16string_view script);
  static void PagefindBundleFiles(std::u16string_view script, FoundNames& names);
  // Pagefind: from pagefind-entry.json, each language's meta file and
  // search engine; from a meta file (as served: compressed), the index
  // chunks, page fragments and filters it lists. Relative to the pagefind
  // folder.
  static std::vector<std::u16string> PagefindEntryFiles(std::u16string_view entryJson);
  static void PagefindEntryFiles(std::u16string_view entryJson, FoundNames& names);
  static std::vector<std::u16string> PagefindMetaFiles(std::string_view meta);
  static void PagefindMetaFiles(std::string_view meta, FoundNames& names);
};

}  // namespace kestrine
