#include "site/generators/webpack_files.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "site/script/script_literal.h"
#include "site/script/script_scanner.h"

namespace kestrine {

namespace {

using Literal = ScriptLiteral;

// One piece of a chunk name expression: a string, a lookup of the chunk id
// in a map (with the id itself as fallback when `||e` follows), or the id.
struct Piece {
  std::u16string text;
  std::optional<Literal::Entries> lookup;
  bool idFallback = false;
  bool id = false;
};

// A lookup `{...}[e]`, `({...})[e]` or `(({...})[e]||e)` at `at`, into
// `piece`; `at` moves past it.
bool LookupAt(std::u16string_view text, std::size_t& at, std::u16string_view id, Piece& piece) {
  std::size_t& i = at;
  int opens = 0;
  while (i < text.size() && text[i] == u'(' && opens < 4) {
    ++opens;
    ++i;
  }
  auto map = Literal::ObjectAt(text, i, FoundNames::kMaxNames);
  if (!map) return false;
  const auto close = [&] {
    while (opens > 0 && i < text.size() && text[i] == u')') {
      --opens;
      ++i;
    }
  };
  close();
  const std::u16string subscript = u"[" + std::u16string(id) + u"]";
  if (text.compare(i, subscript.size(), subscript) != 0) return false;
  i += subscript.size();
  const std::u16string fallback = u"||" + std::u16string(id);
  if (text.compare(i, fallback.size(), fallback) == 0) {
    piece.idFallback = true;
    i += fallback.size();
  }
  close();
  if (opens != 0) return false;
  piece.lookup = std::move(map);
  return true;
}

// The expression a runtime function returns for chunk id `id`: pieces
// joined by "+", as far as they are of the forms above; `at` moves to
// where the reading ended.
std::vector<Piece> PiecesAt(std::u16string_view text, std::size_t& at, std::u16string_view id) {
  std::vector<Piece> pieces;
  std::size_t& i = at;
  while (i < text.size() && pieces.size() < 16) {
    Literal::SkipSpaces(text, i);
    Piece piece;
    if (auto literal = Literal::StringAt(text, i)) {
      piece.text = *literal;
    } else if (text.compare(i, id.size(), id) == 0 &&
               (i + id.size() >= text.size() || !Literal::IsNameCharacter(text[i + id.size()]))) {
      piece.id = true;
      i += id.size();
    } else if (!LookupAt(text, i, id, piece)) {
      break;
    }
    pieces.push_back(std::move(piece));
    Literal::SkipSpaces(text, i);
    if (i >= text.size() || text[i] != u'+') break;
    ++i;
  }
  return pieces;
}

// The id at `at` in `.e("1852")` or `.e(1852)`, viewing the script.
std::optional<std::u16string_view> LoadedIdAt(std::u16string_view script, std::size_t at) {
  constexpr std::size_t kMaxId = 64;
  const char16_t first = script[at];
  if (first == u'"' || first == u'\'') {
    const std::size_t close = script.substr(at + 1, kMaxId).find(first);
    if (close == std::u16string_view::npos) return std::nullopt;
    const std::u16string_view id = script.substr(at + 1, close);
    if (id.find(u'\\') != std::u16string_view::npos) return std::nullopt;
    return id;
  }
  std::size_t end = at;
  while (end < script.size() && end - at < 20 && script[end] >= u'0' && script[end] <= u'9') ++end;
  if (end == at || end >= script.size() || script[end] != u')') return std::nullopt;
  return script.substr(at, end - at);
}

// The chunk ids a runtime loads by name, each once, for the runtimes whose
// name function has no map to list them (a worker's, with one chunk).
std::vector<std::u16string_view> LoadedChunkIds(std::u16string_view script) {
  std::vector<std::u16string_view> ids;
  std::unordered_set<std::u16string_view> seen;
  for (std::size_t at = script.find(u".e("); at != std::u16string_view::npos;
       at = script.find(u".e(", at + 1)) {
    if (at + 3 >= script.size()) break;
    const auto id = LoadedIdAt(script, at + 3);
    if (id && seen.insert(*id).second) ids.push_back(*id);
    if (ids.size() >= FoundNames::kMaxNames) break;
  }
  return ids;
}

using Map = std::unordered_map<std::u16string_view, std::u16string_view>;

// Each lookup piece's map, and every id the maps know, in the order first
// met.
std::vector<std::u16string_view> MapsOf(const std::vector<Piece>& pieces, std::vector<Map>& maps) {
  std::vector<std::u16string_view> ids;
  std::unordered_set<std::u16string_view> seen;
  maps.assign(pieces.size(), {});
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (!pieces[i].lookup) continue;
    maps[i].reserve(pieces[i].lookup->size());
    for (const auto& [key, value] : *pieces[i].lookup) {
      maps[i].emplace(key, value);
      if (seen.insert(key).second) ids.push_back(key);
    }
  }
  return ids;
}

// The name the pieces give for `chunk` into `name`; false when a map
// without fallback does not know it.
bool NameFor(const std::vector<Piece>& pieces, const std::vector<Map>& maps,
             std::u16string_view chunk, std::u16string& name) {
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
        return false;
      }
    } else {
      name += piece.text;
    }
  }
  return true;
}

// Every name the pieces give, for every chunk id their maps know (or, when
// they have no map, every id the script loads).
void NamesOf(const std::vector<Piece>& pieces, const std::vector<std::u16string_view>& loadedIds,
             std::u16string_view prefix, FoundNames& names) {
  std::vector<Map> maps;
  const std::vector<std::u16string_view> mapped = MapsOf(pieces, maps);
  const bool hasMap = std::any_of(pieces.begin(), pieces.end(),
                                  [](const Piece& piece) { return piece.lookup.has_value(); });
  // "./" and the name, so it reads as a path: one buffer for all of them.
  std::u16string name;
  for (const std::u16string_view chunk : hasMap ? mapped : loadedIds) {
    if (names.Done()) return;
    name.assign(u"./");
    if (NameFor(pieces, maps, chunk, name) && ScriptScanner::LooksLikeFilePath(name)) {
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
    const std::size_t found = text.substr(from, kNear).find(what);
    return found == std::u16string_view::npos ? found : from + found;
  };
  std::size_t i = at;
  Literal::SkipSpaces(text, i);
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
  while (i < text.size() && Literal::IsNameCharacter(text[i]) && i - start < kNear) ++i;
  std::u16string id(text.substr(start, i - start));
  if (parenthesised) {
    if (i >= text.size() || text[i] != u')') return std::nullopt;
    ++i;
  }
  Literal::SkipSpaces(text, i);
  if (id.empty() || text.compare(i, 2, u"=>") != 0) return std::nullopt;
  return std::make_pair(std::move(id), i + 2);
}

}  // namespace

std::u16string WebpackFiles::PublicPath(std::u16string_view script) {
  // `.p="/"`; the first that is a string.
  for (std::size_t at = script.find(u".p="); at != std::u16string_view::npos;
       at = script.find(u".p=", at + 1)) {
    std::size_t value = at + 3;
    if (auto path = Literal::StringAt(script, value)) return *path;
  }
  return {};
}

void WebpackFiles::ChunkFiles(std::u16string_view script, std::u16string_view prefix,
                              FoundNames& names) {
  // A bundle holds a runtime or two; a script of thousands is made to cost,
  // and so is one of thousands of functions that only look like one (each
  // may read far before it fails).
  constexpr int kMaxRuntimes = 8;
  constexpr int kMaxLookalikes = 64;
  std::optional<std::vector<std::u16string_view>> loadedIds;
  int runtimes = 0;
  int lookalikes = 0;
  for (std::u16string_view runtime : {u".u=", u".miniCssF="}) {
    for (std::size_t at = script.find(runtime);
         at != std::u16string_view::npos && runtimes < kMaxRuntimes &&
         lookalikes < kMaxLookalikes && !names.Done();
         at = script.find(runtime, at + 1)) {
      const auto body = FunctionBody(script, at + runtime.size());
      if (!body) continue;
      std::size_t end = body->second;
      const std::vector<Piece> pieces = PiecesAt(script, end, body->first);
      // The next runtime is looked for after what this one's reading took.
      at = std::max(at, end - 1);
      if (pieces.empty()) {
        ++lookalikes;
        continue;
      }
      ++runtimes;
      // Only the script function names chunks that `.e()` loads.
      if (runtime == u".u=" && !loadedIds) loadedIds = LoadedChunkIds(script);
      NamesOf(pieces, runtime == u".u=" ? *loadedIds : std::vector<std::u16string_view>{}, prefix,
              names);
    }
  }
}

void WebpackFiles::DocusaurusSearchFiles(std::u16string_view script, std::u16string_view prefix,
                                         FoundNames& names) {
  static constexpr std::u16string_view kIndex = u"search-index{dir}.json";
  for (std::size_t at = script.find(kIndex); at != std::u16string_view::npos && !names.Done();
       at = script.find(kIndex, at + 1)) {
    // The whole literal: the name and its cache-busting query.
    if (at == 0) continue;
    const char16_t quote = script[at - 1];
    if (quote != u'"' && quote != u'\'' && quote != u'`') continue;
    std::size_t start = at - 1;
    const auto literal = Literal::StringAt(script, start, Literal::kMaxName);
    if (!literal) {
      // No end within a name's length: nothing in that stretch is one.
      at += Literal::kMaxName;
      continue;
    }
    std::u16string file = *literal;
    file.replace(file.find(u"{dir}"), 5, u"");
    names.Add(prefix, file);
  }
}

}  // namespace kestrine
