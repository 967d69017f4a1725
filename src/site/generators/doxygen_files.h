#pragma once

#include <string>
#include <string_view>

#include "site/script/found_names.h"

namespace kestrine {

// Doxygen's navigation tree loads its pieces by computed names, which no
// literal spells: "navtreeindex" + i + ".js" for each part of its page
// index, and a node's children from the script named (without ".js") by
// the third field of the node's row, whose second is the page it leads to.
// Names are relative to the script.
class DoxygenFiles {
 public:
  // navtreedata.js: each index part, and each script its rows name. A node
  // script (named after the variable it sets, as the tree reads it back):
  // each script its rows name, which are relative to the tree's top, two
  // folders up when the pages are spread over "d4/d2a/" folders.
  static void NavTreeFiles(std::u16string_view script, const std::u16string& address,
                           FoundNames& names);
  // search/searchdata.js: the search box loads "<section>_<i in hex>.js"
  // for each first letter a section has. Older versions show it through a
  // page of the same name, ".html", which newer ones do not write: those
  // go to `guesses` when given, by their path from the site's top.
  static void SearchFiles(std::u16string_view script, const std::u16string& address,
                          FoundNames& names, FoundNames* guesses);
};

}  // namespace kestrine
