#pragma once

#include <string_view>

#include "site/script/found_names.h"

namespace kestrine {

// Static site searches that load their index by a computed name: MkDocs'
// Material theme and Pagefind (which any generator may add). Names are
// relative to the base each rule gives.
class SearchIndexFiles {
 public:
  // MkDocs: the search index its config block's "base" leads to, relative
  // to the page.
  static void MkDocsSearchFiles(std::u16string_view configJson, FoundNames& names);

  // Pagefind: the bundle folders a script names ("/pagefind/", its
  // `bundlePath`), and the files every bundle has, relative to the script.
  static void PagefindBundleFiles(std::u16string_view script, FoundNames& names);
  // Pagefind's own script finds its bundle beside itself (by its module
  // address, whatever folder a site gave it): the files every bundle has,
  // relative to it. The "/pagefind/" it carries is only its default.
  static bool IsPagefindScript(const std::u16string& address);
  static void PagefindOwnFolderFiles(FoundNames& names);
  // Pagefind: from pagefind-entry.json, each language's meta file and
  // search engine, relative to the pagefind folder.
  static void PagefindEntryFiles(std::u16string_view entryJson, FoundNames& names);
  // Pagefind: from a meta file (as served: compressed), the index chunks,
  // page fragments and filters it lists, relative to the pagefind folder.
  static void PagefindMetaFiles(std::string_view meta, FoundNames& names);
};

}  // namespace kestrine
