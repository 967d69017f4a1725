#include "site/generators/search_index_files.h"

#include <string>
#include <unordered_set>

#include "encoding/cbor_reader.h"
#include "encoding/gunzip.h"
#include "site/script/script_literal.h"
#include "site/script/script_scanner.h"

namespace kestrine {

namespace {

// A hash as Pagefind names its files: letters, digits, "_" and "-".
bool IsPlainName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

// The "key" value of a language object as a file name `prefix` + value +
// `suffix`, when it reads as one.
void AddKeyedFile(std::u16string_view language, std::u16string_view key, std::u16string_view prefix,
                  std::u16string_view suffix, FoundNames& names) {
  const std::size_t at = language.find(key);
  if (at == std::u16string_view::npos) return;
  const auto value = ScriptLiteral::ValueAfterKey(language, at);
  if (!value) return;
  const std::u16string file = std::u16string(prefix) + *value + std::u16string(suffix);
  if (ScriptScanner::LooksLikeFilePath(u"./" + file)) names.Add(file);
}

}  // namespace

void SearchIndexFiles::MkDocsSearchFiles(std::u16string_view configJson, FoundNames& names) {
  // The config block holds arrays and nested objects too: only its "base"
  // and "search" are read here.
  const std::size_t baseKey = configJson.find(u"\"base\"");
  if (configJson.find(u'{') == std::u16string_view::npos || baseKey == std::u16string_view::npos ||
      configJson.find(u"\"search\"") == std::u16string_view::npos) {
    return;
  }
  const auto base = ScriptLiteral::ValueAfterKey(configJson, baseKey);
  if (!base) return;
  std::u16string index = *base;
  if (!index.empty() && index.back() != u'/') index += u'/';
  names.Add(index + u"search/search_index.json");
}

namespace {

// The files of every Pagefind bundle.
constexpr std::u16string_view kBundleFiles[] = {u"pagefind.js", u"pagefind-entry.json",
                                                u"pagefind-worker.js", u"wasm.unknown.pagefind"};

}  // namespace

void SearchIndexFiles::PagefindBundleFiles(std::u16string_view script, FoundNames& names) {
  std::unordered_set<std::u16string> bundles;
  for (std::size_t at = script.find(u"pagefind/"); at != std::u16string_view::npos && !names.Done();
       at = script.find(u"pagefind/", at + 1)) {
    // A quoted "/pagefind/" or "./pagefind/", the whole literal.
    const std::size_t end = at + 9;
    if (end >= script.size() ||
        (script[end] != u'"' && script[end] != u'\'' && script[end] != u'`')) {
      continue;
    }
    std::size_t start = at;
    while (start > 0 && script[start - 1] != script[end] && at - start < 200) --start;
    if (start == 0 || script[start - 1] != script[end]) continue;
    std::u16string bundle(script.substr(start, end - start));
    if (bundle.find_first_of(u" ${}") != std::u16string::npos) continue;
    if (!bundles.insert(bundle).second) continue;
    for (std::u16string_view file : kBundleFiles) names.Add(bundle, file);
  }
}

bool SearchIndexFiles::IsPagefindScript(const std::u16string& address) {
  const std::u16string path = address.substr(0, address.find_first_of(u"?#"));
  return path.ends_with(u"/pagefind.js");
}

void SearchIndexFiles::PagefindOwnFolderFiles(FoundNames& names) {
  for (std::u16string_view file : kBundleFiles) names.Add(file);
}

void SearchIndexFiles::PagefindEntryFiles(std::u16string_view entryJson, FoundNames& names) {
  const std::size_t languages = entryJson.find(u"\"languages\"");
  if (languages == std::u16string_view::npos) return;
  // Each language object: {"hash":"en_aacccbc9b9","wasm":"en",...}, read
  // from one "hash" to the next.
  std::size_t at = entryJson.find(u"\"hash\"", languages);
  while (at != std::u16string_view::npos && !names.Done()) {
    const std::size_t next = entryJson.find(u"\"hash\"", at + 1);
    const std::u16string_view language = entryJson.substr(at, next - at);
    AddKeyedFile(language, u"\"hash\"", u"pagefind.", u".pf_meta", names);
    AddKeyedFile(language, u"\"wasm\"", u"wasm.", u".pagefind", names);
    at = next;
  }
}

// The meta file is "pagefind_dcd" and a CBOR array: the version, the pages
// ([hash, words, ...]), the index chunks ([from, to, hash]) and the
// filters ([name, hash]). It is unpacked only as far as the bomb bound.
void SearchIndexFiles::PagefindMetaFiles(std::string_view meta, FoundNames& names) {
  const Result<std::string> unpacked = Gunzip(meta, UnpackBound(meta.size(), 1u << 20, 64u << 20));
  static constexpr std::string_view kSignature = "pagefind_dcd";
  if (!unpacked || !std::string_view(*unpacked).starts_with(kSignature)) return;
  CborReader cbor(std::string_view(*unpacked).substr(kSignature.size()));
  const auto top = cbor.ReadArray();
  if (!top || *top < 4 || !cbor.Skip()) return;
  struct Part {
    std::u16string folder;
    std::u16string extension;
    std::size_t hashAt;
  };
  for (const Part& part : {Part{u"fragment/", u".pf_fragment", 0}, Part{u"index/", u".pf_index", 2},
                           Part{u"filter/", u".pf_filter", 1}}) {
    const auto items = cbor.ReadArray();
    if (!items) return;
    for (std::uint64_t i = 0; i < *items && !names.Done(); ++i) {
      const auto fields = cbor.ReadArray();
      if (!fields) return;
      for (std::uint64_t k = 0; k < *fields; ++k) {
        if (k != part.hashAt) {
          if (!cbor.Skip()) return;
          continue;
        }
        const auto hash = cbor.ReadText();
        if (hash && IsPlainName(*hash)) {
          names.Add(part.folder + std::u16string(hash->begin(), hash->end()) + part.extension);
        }
      }
    }
  }
}

}  // namespace kestrine
