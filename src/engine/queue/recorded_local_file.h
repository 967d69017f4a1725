#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "site/address/address.h"

namespace kestrine {

// Checks of a local file that a journal recorded for an address. A journal
// lies in the copy, where anyone may have edited it, so what it says is
// taken only when the naming rules could have said it too. Paths are
// relative to the site folder, "\"-separated.
class RecordedLocalFile {
 public:
  // Where the naming rules put an address, relative to the site folder,
  // before any collision is settled. Names at the top of the site folder
  // that begin as the engine's temporary files do are the engine's: a
  // site's such name starts with "-" instead.
  struct RuleName {
    std::u16string folder;
    std::u16string name;
    std::u16string Path() const { return folder.empty() ? name : folder + u"\\" + name; }
  };
  static RuleName RuleNameOf(DownloadMode mode, const std::u16string& siteHost,
                             std::u16string_view address, int taskNumber);
  // Every name the rules could have given an address, whatever its answer
  // was: the rule's own, a folder's default document when it redirected to
  // its "/" form, and the names its type calls for.
  static std::vector<std::u16string> NamesFor(DownloadMode mode, const std::u16string& siteHost,
                                              std::u16string_view address, int taskNumber);

  // Relative, every component a plain name ("." and ".." are not, nor an
  // empty one), no separator or control character inside a name, no name
  // longer than the file system allows, and not one of the engine's own
  // files or temporary names at the top of the site folder.
  static bool IsSafe(std::u16string_view path);
  // `recorded` is `expected` (the rules' name for the address), or that
  // name with collision suffixes ("index-1.html", a folder "v1.2-1"), or
  // shortened with a hash, or as earlier versions of the rules named it
  // (".html" after a long extension).
  static bool CouldBeNamed(std::u16string_view recorded, std::u16string_view expected);
  // The same against any of the names NamesFor gives.
  static bool CouldBeNamed(std::u16string_view recorded, const std::vector<std::u16string>& names);

  // The prefix of every name the engine gives its own temporary files at
  // the top of the site folder; no site file takes such a name.
  static constexpr std::u16string_view kEnginePrefix = u"~kestrine-";
};

}  // namespace kestrine
