#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrine {

class FoundNames;

// rustdoc, the generator of every Rust crate's manual, names its search and
// settings scripts nowhere but in the data attributes of one element,
// "rustdoc-vars", from which its main script builds their addresses: the
// root path and a resource suffix ("1.63.0"), or the scripts' hashed names
// under a folder of static files. They live at the root of the manual, above
// the crate's folder where a copy usually starts.
class RustdocFiles {
 public:
  using Attributes = std::vector<std::pair<std::u16string, std::u16string>>;

  // Whether an element's id or name marks it as rustdoc's variables.
  static bool IsVariables(std::u16string_view idOrName) { return idOrName == u"rustdoc-vars"; }

  // The scripts the element's attributes (names in lower case, values
  // decoded) lead to, relative to the page.
  static void Names(const Attributes& attributes, FoundNames& named);
};

}  // namespace kestrine
