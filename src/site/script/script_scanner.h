#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "site/script/found_names.h"

namespace kestrine {

// The files a script or a JSON document names where it loads them, for a
// copy whose scripts are to run: no page links them, so no other reading
// finds them. Scripts themselves are never rewritten (a changed byte breaks
// integrity hashes and source maps); what they name is fetched beside them.
class ScriptScanner {
 public:
  // String literals (without "${" interpolation) used as import("x"),
  // import ... from "x", export ... from "x", import "x", new Worker("x"),
  // new SharedWorker("x"), importScripts("x", ...), fetch("x") and
  // navigator.serviceWorker.register("x") and new URL("x",
  // import.meta.url). Comments, other strings and regular expressions are
  // passed over. Linear in the script; ends early when `names` says so.
  // With `guesses`, every other string literal that looks like a path of
  // the site (LooksLikeSitePath) goes there, wherever it stands: an
  // argument of the site's own function, a variable's value, an object's
  // field. Those are fetched on trust of their look alone.
  static void ScriptReferences(std::u16string_view script, FoundNames& names,
                               FoundNames* guesses = nullptr);

  // The string values of a JSON text (an application/json script block, an
  // import map, a manifest, a config file) that look like paths of files:
  // a name with the ending of a file pages load (scripts, styles, images,
  // fonts, data), and a "/" or a leading "." to show it is a path. Source
  // maps are left out.
  static void JsonPaths(std::u16string_view json, FoundNames& names);

  // Whether a string looks like a path of a file with an extension.
  static bool LooksLikeFilePath(std::u16string_view text);

  // Whether a script's string looks like a path of the site: a relative
  // or root-relative path whose file has an ending pages load, or a
  // root-relative or dotted folder path ending in "/". Words, types
  // ("text/css"), addresses of other schemes and patterns are not.
  static bool LooksLikeSitePath(std::u16string_view text);
};

}  // namespace kestrine
