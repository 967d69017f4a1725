#include "site/generators/rustdoc_files.h"

#include "site/script/found_names.h"
#include "site/script/script_literal.h"

namespace kestrine {

namespace {

std::u16string_view ValueOf(const RustdocFiles::Attributes& attributes, std::u16string_view name) {
  for (const auto& [key, value] : attributes) {
    if (key == name) return value;
  }
  return {};
}

// A part of a name: a folder such as "../" or "../static.files/", a suffix
// such as "1.63.0" or a file; never an address of its own or a long text.
bool IsPart(std::u16string_view part) {
  return part.size() <= ScriptLiteral::kMaxName && !part.starts_with(u"//") &&
         part.find(u':') == std::u16string_view::npos &&
         part.find_first_of(u"?#\"'<>\\") == std::u16string_view::npos;
}

bool IsScript(std::u16string_view name) { return IsPart(name) && name.ends_with(u".js"); }

// A hashed name of its own, "search-63369b7b.js", under the static folder;
// early versions gave a path from the page instead ("../search1.52.0.js"),
// the same file the root path and suffix make.
bool IsStaticName(std::u16string_view name) {
  return IsScript(name) && name.find(u'/') == std::u16string_view::npos;
}

}  // namespace

void RustdocFiles::Names(const Attributes& attributes, FoundNames& named) {
  const std::u16string_view root = ValueOf(attributes, u"data-root-path");
  std::u16string_view staticRoot = ValueOf(attributes, u"data-static-root-path");
  const std::u16string_view suffix = ValueOf(attributes, u"data-resource-suffix");
  if (!IsPart(root) || !IsPart(staticRoot) || !IsPart(suffix)) return;
  if (staticRoot.empty()) staticRoot = root;
  const std::u16string extension = std::u16string(suffix) + u".js";
  for (const std::u16string_view script : {u"search", u"settings"}) {
    const std::u16string_view hashed =
        ValueOf(attributes, u"data-" + std::u16string(script) + u"-js");
    if (IsStaticName(hashed)) {
      named.Add(staticRoot, hashed);
    } else {
      named.Add(std::u16string(root) + std::u16string(script), extension);
    }
  }
  // The index is one script until versions that split it into hashed parts
  // their own loader (stringdex) finds.
  const std::u16string_view stringdex = ValueOf(attributes, u"data-stringdex-js");
  if (IsStaticName(stringdex)) {
    named.Add(staticRoot, stringdex);
  } else if (const std::u16string_view index = ValueOf(attributes, u"data-search-index-js");
             IsScript(index)) {
    named.Add(index);
  } else {
    named.Add(std::u16string(root) + u"search-index", extension);
  }
}

}  // namespace kestrine
