#include "site/generators/doxygen_files.h"

#include <optional>
#include <string>

#include "site/address/address.h"
#include "site/script/script_literal.h"

namespace kestrine {

namespace {

using Literal = ScriptLiteral;

// What one file may make us read at most: index parts of the tree, and
// sections of the search (Doxygen writes a dozen).
constexpr std::size_t kMaxIndexParts = 100000;
constexpr std::size_t kMaxSections = 64;

bool IsHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); }

// "/d4/d2a/" at the end of a folder: the spread Doxygen gives its pages.
bool InSpreadFolder(std::u16string_view folder) {
  if (folder.size() < 8) return false;
  const std::u16string_view tail = folder.substr(folder.size() - 8);
  return tail[0] == u'/' && tail[1] == u'd' && IsHex(tail[2]) && tail[3] == u'/' &&
         tail[4] == u'd' && IsHex(tail[5]) && IsHex(tail[6]) && tail[7] == u'/';
}

std::u16string_view PathOf(const std::u16string& address) {
  std::u16string_view path = address;
  path = path.substr(0, path.find_first_of(u"?#"));
  return path;
}

// Where the value that "var NAME =" sets begins, looked for in the first
// `within` characters; npos when the file sets no such variable.
std::size_t ValueOf(std::u16string_view script, std::u16string_view name,
                    std::size_t within = std::u16string_view::npos) {
  const std::u16string declaration = u"var " + std::u16string(name);
  std::size_t at = script.substr(0, within).find(declaration);
  if (at == std::u16string_view::npos) return at;
  at += declaration.size();
  Literal::SkipSpaces(script, at);
  if (at >= script.size() || script[at] != u'=') return std::u16string_view::npos;
  ++at;
  Literal::SkipSpaces(script, at);
  return at < script.size() ? at : std::u16string_view::npos;
}

// Where the list "var NAME = [" begins, below the licence comment Doxygen
// puts above it; npos when the file sets no such list.
std::size_t ListOf(std::u16string_view script, std::u16string_view name) {
  const std::size_t at = ValueOf(script, name, 16384);
  return at != std::u16string_view::npos && script[at] == u'[' ? at : std::u16string_view::npos;
}

bool SkipComma(std::u16string_view text, std::size_t& at) {
  Literal::SkipSpaces(text, at);
  if (at >= text.size() || text[at] != u',') return false;
  ++at;
  Literal::SkipSpaces(text, at);
  return true;
}

// Every row [ "title", "page.html" or null, "script" ] of the list: its
// page and its script's name, with `prefix` before them and ".js" after
// the script's.
void RowFiles(std::u16string_view list, std::u16string_view prefix, FoundNames& names) {
  for (std::size_t open = list.find(u'['); open != std::u16string_view::npos && !names.Done();
       open = list.find(u'[', open + 1)) {
    std::size_t at = open + 1;
    Literal::SkipSpaces(list, at);
    if (!Literal::PlainStringAt(list, at, Literal::kMaxName) || !SkipComma(list, at)) continue;
    if (list.compare(at, 4, u"null") == 0) {
      at += 4;
    } else if (const auto page = Literal::PlainStringAt(list, at, Literal::kMaxName)) {
      // The page the row leads to: the tree is the only way to some.
      const std::u16string_view file = page->substr(0, page->find(u'#'));
      if (!file.empty()) names.Add(std::u16string(prefix) + std::u16string(file));
    } else {
      continue;
    }
    if (!SkipComma(list, at)) continue;
    const auto child = Literal::PlainStringAt(list, at, Literal::kMaxName);
    if (child && !child->empty()) {
      names.Add(std::u16string(prefix) + std::u16string(*child), u".js");
    }
  }
}

// One "navtreeindexN.js" for each entry of the NAVTREEINDEX list.
void IndexParts(std::u16string_view script, FoundNames& names) {
  const std::size_t mark = script.find(u"var NAVTREEINDEX =");
  if (mark == std::u16string_view::npos) return;
  std::size_t at = script.find(u'[', mark);
  if (at == std::u16string_view::npos) return;
  ++at;
  for (std::size_t part = 0; part < kMaxIndexParts && !names.Done(); ++part) {
    Literal::SkipSpaces(script, at);
    if (!Literal::PlainStringAt(script, at, Literal::kMaxName)) break;
    const std::string number = std::to_string(part);
    names.Add(u"navtreeindex" + std::u16string(number.begin(), number.end()), u".js");
    if (!SkipComma(script, at)) break;
  }
}

// The object literal "var NAME = {...}" sets, or nothing.
std::optional<Literal::Entries> ObjectOf(std::u16string_view script, std::u16string_view name) {
  std::size_t at = ValueOf(script, name);
  if (at == std::u16string_view::npos) return std::nullopt;
  return Literal::ObjectAt(script, at, kMaxSections);
}

std::u16string Hex(std::size_t number) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string hex;
  do {
    hex.insert(hex.begin(), kDigits[number % 16]);
    number /= 16;
  } while (number > 0);
  return hex;
}

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool IsFlagMap(std::u16string_view letters) {
  return letters.size() == 256 && letters.find_first_not_of(u"01") == std::u16string_view::npos;
}

}  // namespace

void DoxygenFiles::SearchFiles(std::u16string_view script, const std::u16string& address,
                               FoundNames& names, FoundNames* guesses) {
  const std::u16string_view path = PathOf(address);
  if (!path.ends_with(u"/searchdata.js")) return;
  const auto letters = ObjectOf(script, u"indexSectionsWithContent");
  const auto sections = ObjectOf(script, u"indexSectionNames");
  if (!letters || !sections) return;
  // From the site's top: a guess relative to a script is also tried there.
  const std::size_t host = path.find(u'/', WebSchemeLength(path));
  if (host == std::u16string_view::npos) return;
  const std::u16string folder(path.substr(host, path.rfind(u'/') + 1 - host));
  for (const auto& [key, name] : *sections) {
    for (const auto& [letterKey, first] : *letters) {
      // Older versions wrote a map of 256 flags, one per character
      // code, and only pages: no list of letters, and nothing taken here.
      if (letterKey != key || IsFlagMap(first)) continue;
      for (std::size_t i = 0; i < first.size() && !names.Done(); ++i) {
        // A letter outside the basic plane is one index, at its first half.
        if (IsLowSurrogate(first[i])) continue;
        const std::u16string file = std::u16string(name) + u"_" + Hex(i);
        names.Add(file, u".js");
        if (guesses != nullptr) guesses->Add(folder + file, u".html");
      }
    }
  }
  if (guesses != nullptr) guesses->Add(folder, u"nomatches.html");
}

void DoxygenFiles::NavTreeFiles(std::u16string_view script, const std::u16string& address,
                                FoundNames& names) {
  const std::u16string_view path = PathOf(address);
  const std::size_t slash = path.rfind(u'/');
  if (slash == std::u16string_view::npos || !path.ends_with(u".js")) return;
  const std::u16string_view file = path.substr(slash + 1);
  if (file == u"navtreedata.js") {
    const std::size_t tree = ListOf(script, u"NAVTREE");
    if (tree == std::u16string_view::npos) return;
    // The tree's list ends where the index's begins.
    RowFiles(script.substr(tree, script.find(u"var NAVTREEINDEX", tree) - tree), u"", names);
    IndexParts(script, names);
    return;
  }
  // A node's script is read back by its own name: it sets the list it is
  // named after.
  const std::size_t list = ListOf(script, file.substr(0, file.size() - 3));
  if (list == std::u16string_view::npos) return;
  RowFiles(script.substr(list), InSpreadFolder(path.substr(0, slash + 1)) ? u"../../" : u"", names);
}

}  // namespace kestrine
