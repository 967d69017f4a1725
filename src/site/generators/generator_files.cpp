#include "site/generators/generator_files.h"

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "encoding/gunzip.h"
#include "site/script/script_scanner.h"

namespace kestrine {

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r'; }

bool IsNameCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'$';
}

void SkipSpaces(std::u16string_view text, std::size_t& at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
}

// Names and hashes are short; a literal longer than this is no name, and
// the search for its end stops there.
constexpr std::size_t kMaxLiteral = 4096;
// A file's name with its query.
constexpr std::size_t kMaxName = 512;

// A quoted string at `at` ('"', '\'' or '`' without "${"), its value
// unescaped as far as names need, at most `maxLength` long; `at` moves past
// it.
std::optional<std::u16string> StringAt(std::u16string_view text, std::size_t& at,
                                       std::size_t maxLength = kMaxLiteral) {
  if (at >= text.size()) return std::nullopt;
  const char16_t quote = text[at];
  if (quote != u'"' && quote != u'\'' && quote != u'`') return std::nullopt;
  std::u16string value;
  std::size_t i = at + 1;
  const std::size_t end = std::min(text.size(), at + 1 + maxLength);
  while (i < end && text[i] != quote) {
    if (text[i] == u'\\' && i + 1 < text.size()) ++i;
    if (quote == u'`' && text[i] == u'$' && i + 1 < text.size() && text[i + 1] == u'{') {
      return std::nullopt;
    }
    value += text[i++];
  }
  if (i >= end || text[i] != quote) return std::nullopt;
  at = i + 1;
  return value;
}

// A quoted string without escapes at `at`, viewed where it stands, at most
// `maxLength` long; `at` moves past it. Names and hashes need no escapes.
std::optional<std::u16string_view> PlainStringAt(std::u16string_view text, std::size_t& at,
                                                 std::size_t maxLength = kMaxLiteral) {
  if (at >= text.size()) return std::nullopt;
  const char16_t quote = text[at];
  if (quote != u'"' && quote != u'\'') return std::nullopt;
  const std::u16string_view rest = text.substr(at + 1, maxLength + 1);
  const std::size_t close = rest.find(quote);
  if (close == std::u16string_view::npos || close > maxLength) return std::nullopt;
  const std::u16string_view value = rest.substr(0, close);
  if (value.find(u'\\') != std::u16string_view::npos) return std::nullopt;
  at += close + 2;
  return value;
}

using Entries = std::vector<std::pair<std::u16string_view, std::u16string_view>>;

// An object literal of keys (names, numbers or strings) and string values
// at `at`: {1:"a",b:"c"}, keeping at most FoundNames::kMaxNames entries,
// each viewing the text; `at` moves past it.
std::optional<Entries> ObjectAt(std::u16string_view text, std::size_t& at) {
  constexpr std::size_t kMaxKey = 256;
  if (at >= text.size() || text[at] != u'{') return std::nullopt;
  Entries object;
  std::size_t i = at + 1;
  while (true) {
    SkipSpaces(text, i);
    if (i < text.size() && text[i] == u'}') break;
    std::u16string_view key;
    if (auto quoted = PlainStringAt(text, i, kMaxKey)) {
      key = *quoted;
    } else {
      const std::size_t start = i;
      while (i < text.size() && text[i] != u':' && text[i] != u'}' && !IsSpace(text[i]) &&
             i - start < kMaxKey) {
        ++i;
      }
      key = text.substr(start, i - start);
    }
    SkipSpaces(text, i);
    if (i >= text.size() || text[i] != u':') return std::nullopt;
    ++i;
    SkipSpaces(text, i);
    const auto value = PlainStringAt(text, i);
    if (!value) return std::nullopt;
    // Entries beyond the bound are read past, not kept.
    if (object.size() < FoundNames::kMaxNames) object.emplace_back(key, *value);
    SkipSpaces(text, i);
    if (i < text.size() && text[i] == u',') ++i;
  }
  at = i + 1;
  return object;
}

// One piece of a chunk name expression: a string, a lookup of the chunk id
// in a map (with the id itself as fallback when `||e` follows), or the id.
struct Piece {
  std::u16string text;
  std::optional<Entries> lookup;
  bool idFallback = false;
  bool id = false;
};

// The expression a webpack runtime function returns for chunk id `e`:
// pieces joined by "+", as far as they are of the forms above; `at` moves to
// where the reading ended.
std::vector<Piece> PiecesAt(std::u16string_view text, std::size_t& at, std::u16string_view id) {
  std::vector<Piece> pieces;
  std::size_t& i = at;
  while (i < text.size() && pieces.size() < 16) {
    SkipSpaces(text, i);
    Piece piece;
    if (auto literal = StringAt(text, i)) {
      piece.text = *literal;
    } else if (text.compare(i, id.size(), id) == 0 &&
               (i + id.size() >= text.size() || !IsNameCharacter(text[i + id.size()]))) {
      piece.id = true;
      i += id.size();
    } else {
      // ({...})[e], (({...})[e]||e) or {...}[e]: parentheses around the
      // object, around the lookup, or none.
      int opens = 0;
      while (i < text.size() && text[i] == u'(' && opens < 4) {
        ++opens;
        ++i;
      }
      auto map = ObjectAt(text, i);
      if (!map) break;
      const auto close = [&] {
        while (opens > 0 && i < text.size() && text[i] == u')') {
          --opens;
          ++i;
        }
      };
      close();
      const std::u16string subscript = u"[" + std::u16string(id) + u"]";
      if (text.compare(i, subscript.size(), subscript) != 0) break;
      i += subscript.size();
      const std::u16string fallback = u"||" + std::u16string(id);
      if (text.compare(i, fallback.size(), fallback) == 0) {
        piece.idFallback = true;
        i += fallback.size();
      }
      close();
      if (opens != 0) break;
      piece.lookup = std::move(map);
    }
    pieces.push_back(std::move(piece));
    SkipSpaces(text, i);
    if (i >= text.size() || text[i] != u'+') break;
    ++i;
  }
  return pieces;
}

// The chunk ids a runtime loads by name, `.e("1852")` or `.e(1852)`, each
// once, for the runtimes whose name function has no map to list them (a
// worker's, with one chunk). The ids view the script.
std::vector<std::u16string_view> LoadedChunkIds(std::u16string_view script) {
  constexpr std::size_t kMaxId = 64;
  std::vector<std::u16string_view> ids;
  std::unordered_set<std::u16string_view> seen;
  for (std::size_t at = script.find(u".e("); at != std::u16string_view::npos;
       at = script.find(u".e(", at + 1)) {
    const std::size_t value = at + 3;
    if (value >= script.size()) break;
    std::u16string_view id;
    const char16_t first = script[value];
    if (first == u'"' || first == u'\'') {
      const std::size_t close = script.substr(value + 1, kMaxId).find(first);
      if (close == std::u16string_view::npos) continue;
      id = script.substr(value + 1, close);
      if (id.find(u'\\') != std::u16string_view::npos) continue;
    } else {
      std::size_t end = value;
      while (end < script.size() && end - value < 20 && script[end] >= u'0' &&
             script[end] <= u'9') {
        ++end;
      }
      if (end == value || end >= script.size() || script[end] != u')') continue;
      id = script.substr(value, end - value);
    }
    if (seen.insert(id).second) ids.push_back(id);
    if (ids.size() >= FoundNames::kMaxNames) break;
  }
  return ids;
}

// Every name the pieces give, for every chunk id their maps know (or, when
// they have no map, every id the script loads).
void NamesOf(const std::vector<Piece>& pieces, const std::vector<std::u16string_view>& loadedIds,
             std::u16string_view prefix, FoundNames& names) {
  using Map = std::unordered_map<std::u16string_view, std::u16string_view>;
  std::vector<std::u16string_view> ids;
  std::vector<Map> maps(pieces.size());
  const auto inEarlierMap = [&maps](std::size_t before, std::u16string_view key) {
    for (std::size_t j = 0; j < before; ++j) {
      if (maps[j].count(key) > 0) return true;
    }
    return false;
  };
  bool mapped = false;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (!pieces[i].lookup) continue;
    mapped = true;
    maps[i].reserve(pieces[i].lookup->size());
    for (const auto& [key, value] : *pieces[i].lookup) {
      if (maps[i].emplace(key, value).second && !inEarlierMap(i, key)) ids.push_back(key);
    }
  }
  const std::vector<std::u16string_view>& chunks = mapped ? ids : loadedIds;
  // "./" and the name, so it reads as a path: one buffer for all of them.
  std::u16string name;
  for (const std::u16string_view chunk : chunks) {
    if (names.Done()) return;
    name.assign(u"./");
    bool whole = true;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const Piece& piece = pieces[i];
      if (piece.id) {
        name += chunk;
      } else if (piece.lookup) {
        if (const auto found = maps[i].find(chunk); found != maps[i].end()) {
          name += found->second;
        } else if (piece.idFallback) {
          name += chunk;
        } else {
          whole = false;
        }
      } else {
        name += piece.text;
      }
    }
    if (whole && ScriptScanner::LooksLikeFilePath(name)) {
      names.Add(prefix, std::u16string_view(name).substr(2));
    }
  }
}

// After `.u=` or `.miniCssF=`: the parameter name and where the returned
// expression starts (arrow functions and "function(e){return ..."). Every
// search is within a few characters, so a script of many such assignments
// is read in time linear in its length.
std::optional<std::pair<std::u16string, std::size_t>> FunctionBody(std::u16string_view text,
                                                                   std::size_t at) {
  constexpr std::size_t kNear = 48;
  const auto near = [&](std::u16string_view what, std::size_t from) {
    const std::u16string_view window = text.substr(from, kNear);
    const std::size_t found = window.find(what);
    return found == std::u16string_view::npos ? found : from + found;
  };
  std::size_t i = at;
  SkipSpaces(text, i);
  if (text.compare(i, 8, u"function") == 0) {
    const std::size_t open = near(u"(", i);
    if (open == std::u16string_view::npos) return std::nullopt;
    const std::size_t close = near(u")", open);
    if (close == std::u16string_view::npos) return std::nullopt;
    const std::size_t body = near(u"return", close);
    if (body == std::u16string_view::npos || body > close + 8) return std::nullopt;
    return std::make_pair(std::u16string(text.substr(open + 1, close - open - 1)), body + 6);
  }
  const bool parenthesised = i < text.size() && text[i] == u'(';
  if (parenthesised) ++i;
  const std::size_t start = i;
  while (i < text.size() && IsNameCharacter(text[i]) && i - start < kNear) ++i;
  std::u16string id(text.substr(start, i - start));
  if (parenthesised) {
    if (i >= text.size() || text[i] != u')') return std::nullopt;
    ++i;
  }
  SkipSpaces(text, i);
  if (id.empty() || text.compare(i, 2, u"=>") != 0) return std::nullopt;
  return std::make_pair(std::move(id), i + 2);
}

// Just enough of CBOR to walk Pagefind's meta file: definite lengths,
// integers, strings, arrays and maps.
class Cbor {
 public:
  explicit Cbor(std::string_view bytes) : bytes_(bytes) {}

  struct Head {
    int type = -1;
    std::uint64_t value = 0;
  };
  std::optional<Head> ReadHead() {
    if (at_ >= bytes_.size()) return std::nullopt;
    const auto first = static_cast<unsigned char>(bytes_[at_++]);
    Head head{first >> 5, first & 31u};
    if (head.value < 24) return head;
    const int size = head.value == 24   ? 1
                     : head.value == 25 ? 2
                     : head.value == 26 ? 4
                     : head.value == 27 ? 8
                                        : 0;
    if (size == 0 || at_ + size > bytes_.size()) return std::nullopt;
    head.value = 0;
    for (int i = 0; i < size; ++i)
      head.value = head.value << 8 | static_cast<unsigned char>(bytes_[at_++]);
    return head;
  }
  // A text string, or nothing (and the item skipped) when it is another item.
  std::optional<std::string> ReadText() {
    const std::size_t start = at_;
    auto head = ReadHead();
    if (!head) return std::nullopt;
    if (head->type == 3 && head->value <= bytes_.size() - at_) {
      std::string text(bytes_.substr(at_, head->value));
      at_ += head->value;
      return text;
    }
    at_ = start;
    Skip();
    return std::nullopt;
  }
  // The length of the array that starts here, or nothing.
  std::optional<std::uint64_t> ReadArray() {
    auto head = ReadHead();
    if (!head || head->type != 4 || head->value > bytes_.size()) return std::nullopt;
    return head->value;
  }
  bool Skip(int depth = 0) {
    auto head = ReadHead();
    if (!head || depth > 32) return false;
    switch (head->type) {
      case 2:
      case 3:
        if (head->value > bytes_.size() - at_) return false;
        at_ += head->value;
        return true;
      case 4:
      case 5: {
        const std::uint64_t items = head->type == 5 ? head->value * 2 : head->value;
        if (items > bytes_.size()) return false;
        for (std::uint64_t i = 0; i < items; ++i) {
          if (!Skip(depth + 1)) return false;
        }
        return true;
      }
      case 6:
        return Skip(depth + 1);
      default:
        return true;
    }
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

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

}  // namespace

std::u16string GeneratorFiles::WebpackPublicPath(std::u16string_view script) {
  // `.p="/"`; the first that is a string.
  for (std::size_t at = script.find(u".p="); at != std::u16string_view::npos;
       at = script.find(u".p=", at + 1)) {
    std::size_t value = at + 3;
    if (auto path = StringAt(script, value)) return *path;
  }
  return {};
}

void GeneratorFiles::WebpackChunkFiles(std::u16string_view script, std::u16string_view prefix,
                                       FoundNames& names) {
  // A bundle holds a runtime or two; a script of thousands is made to cost.
  constexpr int kMaxRuntimes = 8;
  std::optional<std::vector<std::u16string_view>> loadedIds;
  int runtimes = 0;
  for (std::u16string_view runtime : {u".u=", u".miniCssF="}) {
    for (std::size_t at = script.find(runtime);
         at != std::u16string_view::npos && runtimes < kMaxRuntimes && !names.Done();
         at = script.find(runtime, at + 1)) {
      const auto body = FunctionBody(script, at + runtime.size());
      if (!body) continue;
      std::size_t end = body->second;
      const std::vector<Piece> pieces = PiecesAt(script, end, body->first);
      // The next runtime is looked for after what this one's reading took.
      at = std::max(at, end - 1);
      if (pieces.empty()) continue;
      ++runtimes;
      // Only the script function names chunks that `.e()` loads.
      if (runtime == u".u=" && !loadedIds) loadedIds = LoadedChunkIds(script);
      NamesOf(pieces, runtime == u".u=" ? *loadedIds : std::vector<std::u16string_view>{}, prefix,
              names);
    }
  }
}

GeneratorFiles::WebpackChunks GeneratorFiles::WebpackChunkFiles(std::u16string_view script) {
  FoundNames names;
  WebpackChunkFiles(script, u"", names);
  return {WebpackPublicPath(script), {names.names().begin(), names.names().end()}};
}

void GeneratorFiles::DocusaurusSearchFiles(std::u16string_view script, std::u16string_view prefix,
                                           FoundNames& names) {
  static constexpr std::u16string_view kIndex = u"search-index{dir}.json";
  for (std::size_t at = script.find(kIndex); at != std::u16string_view::npos && !names.Done();
       at = script.find(kIndex, at + 1)) {
    // The whole literal: the name and its cache-busting query.
    if (at == 0) continue;
    const char16_t quote = script[at - 1];
    if (quote != u'"' && quote != u'\'' && quote != u'`') continue;
    std::size_t start = at - 1;
    const auto literal = StringAt(script, start, kMaxName);
    if (!literal) {
      // No end within a name's length: nothing in that stretch is one.
      at += kMaxName;
      continue;
    }
    std::u16string file = *literal;
    file.replace(file.find(u"{dir}"), 5, u"");
    names.Add(prefix, file);
  }
}

std::vector<std::u16string> GeneratorFiles::DocusaurusSearchFiles(std::u16string_view script) {
  FoundNames names;
  DocusaurusSearchFiles(script, u"", names);
  return {names.names().begin(), names.names().end()};
}

void GeneratorFiles::ViteDependencies(std::u16string_view script, std::u16string_view prefix,
                                      FoundNames& names) {
  const std::size_t mark = script.find(u"__vite__mapDeps");
  if (mark == std::u16string_view::npos) return;
  // The list is the first array of strings after the mark: m.f=["assets/..."].
  const std::size_t open = script.substr(mark, 200).find(u"=[");
  if (open == std::u16string_view::npos) return;
  std::size_t at = mark + open + 2;
  while (at < script.size() && !names.Done()) {
    SkipSpaces(script, at);
    auto file = StringAt(script, at);
    if (!file) break;
    if (ScriptScanner::LooksLikeFilePath(*file)) names.Add(prefix, *file);
    SkipSpaces(script, at);
    if (at >= script.size() || script[at] != u',') break;
    ++at;
  }
}

std::vector<std::u16string> GeneratorFiles::ViteDependencies(std::u16string_view script) {
  FoundNames names;
  ViteDependencies(script, u"", names);
  return {names.names().begin(), names.names().end()};
}

std::optional<std::u16string> GeneratorFiles::VitePressFullChunk(std::u16string_view reference) {
  static constexpr std::u16string_view kLean = u".lean.js";
  if (!reference.ends_with(kLean) || reference.find(u".md.") == std::u16string_view::npos) {
    return std::nullopt;
  }
  return std::u16string(reference.substr(0, reference.size() - kLean.size())) + u".js";
}

namespace {

// Inline, VitePress's site data beside the hash map gives the site's base
// ("/" or "/docs/"); nothing in hashmap.json, which lies at the base.
std::u16string VitePressBase(std::u16string_view script) {
  const std::size_t data = script.find(u"__VP_SITE_DATA__");
  if (data == std::u16string_view::npos) return {};
  static constexpr std::u16string_view kBase = u"\\\"base\\\":\\\"";
  const std::size_t at = script.find(kBase, data);
  if (at == std::u16string_view::npos) return u"/";
  const std::size_t from = at + kBase.size();
  const std::size_t end = script.substr(from, kMaxLiteral).find(u'\\');
  if (end == std::u16string_view::npos) return u"/";
  return std::u16string(script.substr(from, end));
}

}  // namespace

void GeneratorFiles::VitePressChunks(std::u16string_view scriptOrJson, FoundNames& names) {
  std::u16string_view json = scriptOrJson;
  std::u16string unescaped;
  // Inline it is JSON inside a string: __VP_HASH_MAP__=JSON.parse("{\"a.md\":\"X\"}").
  if (const std::size_t mark = scriptOrJson.find(u"__VP_HASH_MAP__");
      mark != std::u16string_view::npos) {
    const std::size_t parse = scriptOrJson.substr(mark, 40).find(u"JSON.parse(");
    if (parse == std::u16string_view::npos) return;
    std::size_t at = mark + parse + 11;
    auto inner = StringAt(scriptOrJson, at, scriptOrJson.size());
    if (!inner) return;
    unescaped = std::move(*inner);
    json = unescaped;
  }
  std::size_t at = json.find(u'{');
  if (at == std::u16string_view::npos) return;
  const std::u16string base = VitePressBase(scriptOrJson);
  // The client asks for the map itself when it moves between pages.
  if (!base.empty()) names.Add(base, u"hashmap.json");
  // The map's keys are the pages' paths with "_" for "/": "guide_intro.md".
  // Read one pair at a time: a map of a million pages costs no more than
  // the names it may give.
  ++at;
  while (at < json.size() && !names.Done()) {
    SkipSpaces(json, at);
    const auto page = StringAt(json, at);
    SkipSpaces(json, at);
    if (!page || at >= json.size() || json[at] != u':') return;
    ++at;
    SkipSpaces(json, at);
    const auto hash = StringAt(json, at);
    if (!hash) return;
    if (page->ends_with(u".md") && page->find(u'/') == std::u16string::npos) {
      const std::u16string stem = base + u"assets/" + *page + u"." + *hash;
      names.Add(stem, u".js");
      names.Add(stem, u".lean.js");
    }
    SkipSpaces(json, at);
    if (at >= json.size() || json[at] != u',') return;
    ++at;
  }
}

std::vector<std::u16string> GeneratorFiles::VitePressChunks(std::u16string_view scriptOrJson) {
  FoundNames names;
  VitePressChunks(scriptOrJson, names);
  return {names.names().begin(), names.names().end()};
}

std::vector<std::u16string> GeneratorFiles::MkDocsSearchFiles(std::u16string_view configJson) {
  std::size_t at = configJson.find(u'{');
  if (at == std::u16string_view::npos) return {};
  // The config block holds arrays and nested objects too: only its "base"
  // and "search" are read here.
  const std::size_t baseKey = configJson.find(u"\"base\"");
  const std::size_t searchKey = configJson.find(u"\"search\"");
  if (baseKey == std::u16string_view::npos || searchKey == std::u16string_view::npos) return {};
  std::size_t value = baseKey + 6;
  SkipSpaces(configJson, value);
  if (value >= configJson.size() || configJson[value] != u':') return {};
  ++value;
  SkipSpaces(configJson, value);
  const auto base = StringAt(configJson, value);
  if (!base) return {};
  std::u16string index = *base;
  if (!index.empty() && index.back() != u'/') index += u'/';
  return {index + u"search/search_index.json"};
}

void GeneratorFiles::PagefindBundleFiles(std::u16string_view script, FoundNames& names) {
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
    for (std::u16string_view file : {u"pagefind.js", u"pagefind-entry.json", u"pagefind-worker.js",
                                     u"wasm.unknown.pagefind"}) {
      names.Add(bundle, file);
    }
  }
}

std::vector<std::u16string> GeneratorFiles::PagefindBundleFiles(std::u16string_view script) {
  FoundNames names;
  PagefindBundleFiles(script, names);
  return {names.names().begin(), names.names().end()};
}

void GeneratorFiles::PagefindEntryFiles(std::u16string_view entryJson, FoundNames& names) {
  const std::size_t languages = entryJson.find(u"\"languages\"");
  if (languages == std::u16string_view::npos) return;
  // Each language object: {"hash":"en_aacccbc9b9","wasm":"en",...}, read
  // from one "hash" to the next.
  std::size_t at = entryJson.find(u"\"hash\"", languages);
  while (at != std::u16string_view::npos && !names.Done()) {
    const std::size_t next = entryJson.find(u"\"hash\"", at + 1);
    const std::u16string_view language = entryJson.substr(at, next - at);
    std::size_t value = 6;
    SkipSpaces(language, value);
    if (value < language.size() && language[value] == u':') {
      ++value;
      SkipSpaces(language, value);
      if (auto hash = StringAt(language, value);
          hash && ScriptScanner::LooksLikeFilePath(u"./pagefind." + *hash + u".pf_meta")) {
        names.Add(u"pagefind." + *hash + u".pf_meta");
      }
    }
    if (const std::size_t wasmKey = language.find(u"\"wasm\"");
        wasmKey != std::u16string_view::npos) {
      std::size_t wasm = wasmKey + 6;
      SkipSpaces(language, wasm);
      if (wasm < language.size() && language[wasm] == u':') {
        ++wasm;
        SkipSpaces(language, wasm);
        if (auto code = StringAt(language, wasm);
            code && ScriptScanner::LooksLikeFilePath(u"./wasm." + *code + u".pagefind")) {
          names.Add(u"wasm." + *code + u".pagefind");
        }
      }
    }
    at = next;
  }
}

std::vector<std::u16string> GeneratorFiles::PagefindEntryFiles(std::u16string_view entryJson) {
  FoundNames names;
  PagefindEntryFiles(entryJson, names);
  return {names.names().begin(), names.names().end()};
}

// The meta file is "pagefind_dcd" and a CBOR array: the version, the pages
// ([hash, words, ...]), the index chunks ([from, to, hash]) and the
// filters ([name, hash]). It is unpacked only as far as the bomb bound.
void GeneratorFiles::PagefindMetaFiles(std::string_view meta, FoundNames& names) {
  const Result<std::string> unpacked = Gunzip(meta, UnpackBound(meta.size(), 1u << 20, 64u << 20));
  static constexpr std::string_view kSignature = "pagefind_dcd";
  if (!unpacked || !std::string_view(*unpacked).starts_with(kSignature)) return;
  Cbor cbor(std::string_view(*unpacked).substr(kSignature.size()));
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
        if (hash && IsPlainName(*hash)) names.Add(part.folder + Wide(*hash) + part.extension);
      }
    }
  }
}

std::vector<std::u16string> GeneratorFiles::PagefindMetaFiles(std::string_view meta) {
  FoundNames names;
  PagefindMetaFiles(meta, names);
  return {names.names().begin(), names.names().end()};
}

}  // namespace kestrine
