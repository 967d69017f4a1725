#include "site/generators/vite_files.h"

#include "site/address/address.h"
#include "site/script/script_literal.h"
#include "site/script/script_scanner.h"

namespace kestrine {

namespace {

using Literal = ScriptLiteral;

// Inline, VitePress's site data beside the hash map gives the site's base
// ("/" or "/docs/"); nothing in hashmap.json, which lies at the base.
std::u16string VitePressBase(std::u16string_view script) {
  const std::size_t data = script.find(u"__VP_SITE_DATA__");
  if (data == std::u16string_view::npos) return {};
  static constexpr std::u16string_view kBase = u"\\\"base\\\":\\\"";
  const std::size_t at = script.find(kBase, data);
  if (at == std::u16string_view::npos) return u"/";
  const std::size_t from = at + kBase.size();
  const std::size_t end = script.substr(from, Literal::kMaxLiteral).find(u'\\');
  if (end == std::u16string_view::npos) return u"/";
  return std::u16string(script.substr(from, end));
}

// Inline the map is JSON inside a string:
// __VP_HASH_MAP__=JSON.parse("{\"a.md\":\"X\"}"); its unescaped text, or
// nothing when the script holds no readable one.
std::optional<std::u16string> InlineHashMap(std::u16string_view script, std::size_t mark) {
  const std::size_t parse = script.substr(mark, 40).find(u"JSON.parse(");
  if (parse == std::u16string_view::npos) return std::nullopt;
  std::size_t at = mark + parse + 11;
  return Literal::StringAt(script, at, script.size());
}

// The map's keys are the pages' paths with "_" for "/": "guide_intro.md".
// Read one pair at a time: a map of a million pages costs no more than the
// names it may give.
void PageChunks(std::u16string_view json, std::u16string_view base, FoundNames& names) {
  std::size_t at = json.find(u'{');
  if (at == std::u16string_view::npos) return;
  ++at;
  while (at < json.size() && !names.Done()) {
    Literal::SkipSpaces(json, at);
    const auto page = Literal::StringAt(json, at);
    Literal::SkipSpaces(json, at);
    if (!page || at >= json.size() || json[at] != u':') return;
    ++at;
    Literal::SkipSpaces(json, at);
    const auto hash = Literal::StringAt(json, at);
    if (!hash) return;
    if (page->ends_with(u".md") && page->find(u'/') == std::u16string::npos) {
      const std::u16string stem = std::u16string(base) + u"assets/" + *page + u"." + *hash;
      names.Add(stem, u".js");
      names.Add(stem, u".lean.js");
    }
    Literal::SkipSpaces(json, at);
    if (at >= json.size() || json[at] != u',') return;
    ++at;
  }
}

}  // namespace

std::u16string ViteFiles::BaseOf(const std::u16string& scriptAddress) {
  const std::size_t assets = scriptAddress.rfind(u"/assets/");
  if (assets == std::u16string::npos) return u"/";
  const std::size_t hostEnd = scriptAddress.find(u'/', WebSchemeLength(scriptAddress));
  return scriptAddress.substr(hostEnd, assets + 1 - hostEnd);
}

void ViteFiles::Dependencies(std::u16string_view script, std::u16string_view prefix,
                             FoundNames& names) {
  const std::size_t mark = script.find(u"__vite__mapDeps");
  if (mark == std::u16string_view::npos) return;
  // The list is the first array of strings after the mark: m.f=["assets/..."].
  const std::size_t open = script.substr(mark, 200).find(u"=[");
  if (open == std::u16string_view::npos) return;
  std::size_t at = mark + open + 2;
  while (at < script.size() && !names.Done()) {
    Literal::SkipSpaces(script, at);
    auto file = Literal::StringAt(script, at);
    if (!file) break;
    // "../nodes/0.js" leads from the script itself, as a build with
    // relative paths writes it; other names from the site's base.
    const bool relative = file->starts_with(u"./") || file->starts_with(u"../");
    if (ScriptScanner::LooksLikeFilePath(*file)) {
      relative ? names.Add(*file) : names.Add(prefix, *file);
    }
    Literal::SkipSpaces(script, at);
    if (at >= script.size() || script[at] != u',') break;
    ++at;
  }
}

std::optional<std::u16string> ViteFiles::VitePressFullChunk(std::u16string_view reference) {
  static constexpr std::u16string_view kLean = u".lean.js";
  if (!reference.ends_with(kLean) || reference.find(u".md.") == std::u16string_view::npos) {
    return std::nullopt;
  }
  return std::u16string(reference.substr(0, reference.size() - kLean.size())) + u".js";
}

void ViteFiles::AddVitePressFullChunks(FoundNames& names, std::size_t from) {
  for (std::size_t i = from; i < names.names().size() && !names.Done(); ++i) {
    if (auto whole = VitePressFullChunk(names.names()[i])) names.Add(*whole);
  }
}

void ViteFiles::VitePressChunks(std::u16string_view scriptOrJson, FoundNames& names) {
  std::u16string_view json = scriptOrJson;
  std::optional<std::u16string> unescaped;
  if (const std::size_t mark = scriptOrJson.find(u"__VP_HASH_MAP__");
      mark != std::u16string_view::npos) {
    unescaped = InlineHashMap(scriptOrJson, mark);
    if (!unescaped) return;
    json = *unescaped;
  }
  if (json.find(u'{') == std::u16string_view::npos) return;
  const std::u16string base = VitePressBase(scriptOrJson);
  // The client asks for the map itself when it moves between pages.
  if (!base.empty()) names.Add(base, u"hashmap.json");
  PageChunks(json, base, names);
}

}  // namespace kestrine
