#include "site/generator_files.h"

#include <zlib.h>

#include <cstdint>
#include <map>

#include "site/script_scanner.h"

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

// A quoted string at `at` ('"', '\'' or '`' without "${"), its value
// unescaped as far as names need; `at` moves past it.
std::optional<std::u16string> StringAt(std::u16string_view text, std::size_t& at) {
  if (at >= text.size()) return std::nullopt;
  const char16_t quote = text[at];
  if (quote != u'"' && quote != u'\'' && quote != u'`') return std::nullopt;
  std::u16string value;
  std::size_t i = at + 1;
  while (i < text.size() && text[i] != quote) {
    if (text[i] == u'\\' && i + 1 < text.size()) ++i;
    if (quote == u'`' && text[i] == u'$' && i + 1 < text.size() && text[i + 1] == u'{') {
      return std::nullopt;
    }
    value += text[i++];
  }
  if (i >= text.size()) return std::nullopt;
  at = i + 1;
  return value;
}

// An object literal of keys (names, numbers or strings) and string values
// at `at`: {1:"a",b:"c"}; `at` moves past it.
std::optional<std::map<std::u16string, std::u16string>> ObjectAt(std::u16string_view text,
                                                                 std::size_t& at) {
  if (at >= text.size() || text[at] != u'{') return std::nullopt;
  std::map<std::u16string, std::u16string> object;
  std::size_t i = at + 1;
  while (true) {
    SkipSpaces(text, i);
    if (i < text.size() && text[i] == u'}') break;
    std::u16string key;
    if (auto quoted = StringAt(text, i)) {
      key = *quoted;
    } else {
      while (i < text.size() && text[i] != u':' && text[i] != u'}' && !IsSpace(text[i])) {
        key += text[i++];
      }
    }
    SkipSpaces(text, i);
    if (i >= text.size() || text[i] != u':') return std::nullopt;
    ++i;
    SkipSpaces(text, i);
    auto value = StringAt(text, i);
    if (!value) return std::nullopt;
    object.emplace(std::move(key), std::move(*value));
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
  std::optional<std::map<std::u16string, std::u16string>> lookup;
  bool idFallback = false;
  bool id = false;
};

// The expression a webpack runtime function returns for chunk id `e`:
// pieces joined by "+", as far as they are of the forms above.
std::vector<Piece> PiecesAt(std::u16string_view text, std::size_t at, std::u16string_view id) {
  std::vector<Piece> pieces;
  std::size_t i = at;
  while (i < text.size()) {
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
      while (i < text.size() && text[i] == u'(') {
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

// The chunk ids a runtime loads by name, `.e("1852")`, for the runtimes
// whose name function has no map to list them (a worker's, with one chunk).
std::vector<std::u16string> LoadedChunkIds(std::u16string_view script) {
  std::vector<std::u16string> ids;
  for (std::size_t at = script.find(u".e("); at != std::u16string_view::npos;
       at = script.find(u".e(", at + 1)) {
    std::size_t value = at + 3;
    if (auto quoted = StringAt(script, value)) {
      ids.push_back(*quoted);
      continue;
    }
    std::u16string number;
    while (value < script.size() && script[value] >= u'0' && script[value] <= u'9') {
      number += script[value++];
    }
    if (!number.empty() && value < script.size() && script[value] == u')') ids.push_back(number);
  }
  return ids;
}

// Every name the pieces give, for every chunk id their maps know (or, when
// they have no map, that the script loads).
std::vector<std::u16string> NamesOf(const std::vector<Piece>& pieces, std::u16string_view script,
                                    bool loadsById) {
  std::vector<std::u16string> ids;
  bool mapped = false;
  for (const Piece& piece : pieces) {
    if (!piece.lookup) continue;
    mapped = true;
    for (const auto& [key, value] : *piece.lookup) ids.push_back(key);
  }
  if (!mapped && loadsById) ids = LoadedChunkIds(script);
  std::vector<std::u16string> names;
  std::map<std::u16string, bool> seen;
  for (const std::u16string& chunk : ids) {
    if (seen[chunk]) continue;
    seen[chunk] = true;
    std::u16string name;
    bool whole = true;
    for (const Piece& piece : pieces) {
      if (piece.id) {
        name += chunk;
      } else if (piece.lookup) {
        const auto found = piece.lookup->find(chunk);
        if (found != piece.lookup->end()) {
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
    if (whole && ScriptScanner::LooksLikeFilePath(u"./" + name)) names.push_back(name);
  }
  return names;
}

// After `.u=` or `.miniCssF=`: the parameter name and where the returned
// expression starts (arrow functions and "function(e){return ...").
std::optional<std::pair<std::u16string, std::size_t>> FunctionBody(std::u16string_view text,
                                                                   std::size_t at) {
  std::size_t i = at;
  SkipSpaces(text, i);
  if (text.compare(i, 8, u"function") == 0) {
    const std::size_t open = text.find(u'(', i);
    const std::size_t close = text.find(u')', open);
    const std::size_t body = text.find(u"return", close);
    if (open == std::u16string_view::npos || close == std::u16string_view::npos ||
        body == std::u16string_view::npos || body > close + 8) {
      return std::nullopt;
    }
    return std::make_pair(std::u16string(text.substr(open + 1, close - open - 1)), body + 6);
  }
  const bool parenthesised = i < text.size() && text[i] == u'(';
  if (parenthesised) ++i;
  const std::size_t start = i;
  while (i < text.size() && IsNameCharacter(text[i])) ++i;
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

// A gzip-compressed file as served, unpacked up to a bound.
std::optional<std::string> Gunzipped(std::string_view compressed) {
  constexpr std::size_t kMaxBytes = 64u * 1024 * 1024;
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return std::nullopt;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  std::string out;
  int result = Z_OK;
  while (result == Z_OK && out.size() < kMaxBytes) {
    char block[16384];
    stream.next_out = reinterpret_cast<Bytef*>(block);
    stream.avail_out = sizeof block;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(block, sizeof block - stream.avail_out);
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) return std::nullopt;
  return out;
}

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

GeneratorFiles::WebpackChunks GeneratorFiles::WebpackChunkFiles(std::u16string_view script) {
  WebpackChunks chunks;
  for (std::u16string_view runtime : {u".u=", u".miniCssF="}) {
    for (std::size_t at = script.find(runtime); at != std::u16string_view::npos;
         at = script.find(runtime, at + 1)) {
      const auto body = FunctionBody(script, at + runtime.size());
      if (!body) continue;
      // Only the script function names chunks that `.e()` loads.
      std::vector<std::u16string> names =
          NamesOf(PiecesAt(script, body->second, body->first), script, runtime == u".u=");
      chunks.files.insert(chunks.files.end(), names.begin(), names.end());
    }
  }
  // The public path the chunks are relative to: `.p="/"`.
  for (std::size_t at = script.find(u".p="); at != std::u16string_view::npos;
       at = script.find(u".p=", at + 1)) {
    std::size_t value = at + 3;
    if (auto path = StringAt(script, value)) {
      chunks.publicPath = *path;
      break;
    }
  }
  return chunks;
}

std::vector<std::u16string> GeneratorFiles::DocusaurusSearchFiles(std::u16string_view script) {
  static constexpr std::u16string_view kIndex = u"search-index{dir}.json";
  std::vector<std::u16string> files;
  for (std::size_t at = script.find(kIndex); at != std::u16string_view::npos;
       at = script.find(kIndex, at + 1)) {
    // The whole literal: the name and its cache-busting query.
    if (at == 0) continue;
    const char16_t quote = script[at - 1];
    if (quote != u'"' && quote != u'\'' && quote != u'`') continue;
    std::size_t start = at - 1;
    const auto literal = StringAt(script, start);
    if (!literal) continue;
    std::u16string file = *literal;
    file.replace(file.find(u"{dir}"), 5, u"");
    files.push_back(std::move(file));
  }
  return files;
}

std::vector<std::u16string> GeneratorFiles::ViteDependencies(std::u16string_view script) {
  std::vector<std::u16string> files;
  const std::size_t mark = script.find(u"__vite__mapDeps");
  if (mark == std::u16string_view::npos) return files;
  // The list is the first array of strings after the mark: m.f=["assets/..."].
  std::size_t at = script.find(u"=[", mark);
  if (at == std::u16string_view::npos || at > mark + 200) return files;
  at += 2;
  while (at < script.size()) {
    SkipSpaces(script, at);
    auto file = StringAt(script, at);
    if (!file) break;
    if (ScriptScanner::LooksLikeFilePath(*file)) files.push_back(*file);
    SkipSpaces(script, at);
    if (at >= script.size() || script[at] != u',') break;
    ++at;
  }
  return files;
}

std::optional<std::u16string> GeneratorFiles::VitePressFullChunk(std::u16string_view reference) {
  static constexpr std::u16string_view kLean = u".lean.js";
  if (!reference.ends_with(kLean) || reference.find(u".md.") == std::u16string_view::npos) {
    return std::nullopt;
  }
  return std::u16string(reference.substr(0, reference.size() - kLean.size())) + u".js";
}

std::vector<std::u16string> GeneratorFiles::VitePressChunks(std::u16string_view scriptOrJson) {
  std::vector<std::u16string> chunks;
  std::u16string_view json = scriptOrJson;
  std::u16string unescaped;
  // Inline it is JSON inside a string: __VP_HASH_MAP__=JSON.parse("{\"a.md\":\"X\"}").
  if (const std::size_t mark = scriptOrJson.find(u"__VP_HASH_MAP__");
      mark != std::u16string_view::npos) {
    std::size_t at = scriptOrJson.find(u"JSON.parse(", mark);
    if (at == std::u16string_view::npos || at > mark + 40) return chunks;
    at += 11;
    auto inner = StringAt(scriptOrJson, at);
    if (!inner) return chunks;
    unescaped = *inner;
    json = unescaped;
  }
  std::size_t at = json.find(u'{');
  if (at == std::u16string_view::npos) return chunks;
  const auto map = ObjectAt(json, at);
  if (!map) return chunks;
  // Inline, the site data beside it gives the site's base ("/" or
  // "/docs/"); hashmap.json lies at the base itself.
  std::u16string base;
  if (const std::size_t data = scriptOrJson.find(u"__VP_SITE_DATA__");
      data != std::u16string_view::npos) {
    static constexpr std::u16string_view kBase = u"\\\"base\\\":\\\"";
    const std::size_t at = scriptOrJson.find(kBase, data);
    const std::size_t end =
        at == std::u16string_view::npos ? at : scriptOrJson.find(u'\\', at + kBase.size());
    base = end == std::u16string_view::npos
               ? std::u16string(u"/")
               : std::u16string(scriptOrJson.substr(at + kBase.size(), end - at - kBase.size()));
  }
  // The client asks for the map itself when it moves between pages.
  if (!base.empty()) chunks.push_back(base + u"hashmap.json");
  // The map's keys are the pages' paths with "_" for "/": "guide_intro.md".
  for (const auto& [page, hash] : *map) {
    if (!page.ends_with(u".md") || page.find(u'/') != std::u16string::npos) continue;
    const std::u16string stem = base + u"assets/" + page + u"." + hash;
    chunks.push_back(stem + u".js");
    chunks.push_back(stem + u".lean.js");
  }
  return chunks;
}

std::vector<std::u16string> GeneratorFiles::MkDocsSearchFiles(std::u16string_view configJson) {
  std::size_t at = configJson.find(u'{');
  if (at == std::u16string_view::npos) return {};
  // The config block holds arrays and nested objects too: only its "base"
  // and "search" are read here.
  const std::size_t baseKey = configJson.find(u"\"base\"");
  const std::size_t searchKey = configJson.find(u"\"search\"");
  if (baseKey == std::u16string_view::npos || searchKey == std::u16string_view::npos) return {};
  std::size_t value = configJson.find(u':', baseKey);
  if (value == std::u16string_view::npos) return {};
  ++value;
  SkipSpaces(configJson, value);
  const auto base = StringAt(configJson, value);
  if (!base) return {};
  std::u16string index = *base;
  if (!index.empty() && index.back() != u'/') index += u'/';
  return {index + u"search/search_index.json"};
}

}  // namespace kestrine

namespace kestrine {

std::vector<std::u16string> GeneratorFiles::PagefindBundleFiles(std::u16string_view script) {
  std::vector<std::u16string> files;
  for (std::size_t at = script.find(u"pagefind/"); at != std::u16string_view::npos;
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
    const std::u16string bundle(script.substr(start, end - start));
    if (bundle.find_first_of(u" ${}") != std::u16string::npos) continue;
    for (std::u16string_view file : {u"pagefind.js", u"pagefind-entry.json", u"pagefind-worker.js",
                                     u"wasm.unknown.pagefind"}) {
      files.push_back(bundle + std::u16string(file));
    }
  }
  return files;
}

std::vector<std::u16string> GeneratorFiles::PagefindEntryFiles(std::u16string_view entryJson) {
  std::vector<std::u16string> files;
  const std::size_t languages = entryJson.find(u"\"languages\"");
  if (languages == std::u16string_view::npos) return files;
  // Each language object: {"hash":"en_aacccbc9b9","wasm":"en",...}.
  for (std::size_t at = entryJson.find(u"\"hash\"", languages); at != std::u16string_view::npos;
       at = entryJson.find(u"\"hash\"", at + 1)) {
    std::size_t value = entryJson.find(u':', at);
    if (value == std::u16string_view::npos) break;
    ++value;
    SkipSpaces(entryJson, value);
    if (auto hash = StringAt(entryJson, value);
        hash && ScriptScanner::LooksLikeFilePath(u"./pagefind." + *hash + u".pf_meta")) {
      files.push_back(u"pagefind." + *hash + u".pf_meta");
    }
    const std::size_t wasmKey = entryJson.find(u"\"wasm\"", at);
    const std::size_t nextHash = entryJson.find(u"\"hash\"", at + 1);
    if (wasmKey == std::u16string_view::npos || wasmKey > nextHash) continue;
    std::size_t wasm = entryJson.find(u':', wasmKey);
    if (wasm == std::u16string_view::npos) continue;
    ++wasm;
    SkipSpaces(entryJson, wasm);
    if (auto language = StringAt(entryJson, wasm);
        language && ScriptScanner::LooksLikeFilePath(u"./wasm." + *language + u".pagefind")) {
      files.push_back(u"wasm." + *language + u".pagefind");
    }
  }
  return files;
}

// The meta file is "pagefind_dcd" and a CBOR array: the version, the pages
// ([hash, words, ...]), the index chunks ([from, to, hash]) and the
// filters ([name, hash]).
std::vector<std::u16string> GeneratorFiles::PagefindMetaFiles(std::string_view meta) {
  std::vector<std::u16string> files;
  const std::optional<std::string> unpacked = Gunzipped(meta);
  static constexpr std::string_view kSignature = "pagefind_dcd";
  if (!unpacked || !std::string_view(*unpacked).starts_with(kSignature)) return files;
  Cbor cbor(std::string_view(*unpacked).substr(kSignature.size()));
  const auto top = cbor.ReadArray();
  if (!top || *top < 4 || !cbor.Skip()) return files;
  struct Part {
    std::u16string folder;
    std::u16string extension;
    std::size_t hashAt;
  };
  for (const Part& part : {Part{u"fragment/", u".pf_fragment", 0}, Part{u"index/", u".pf_index", 2},
                           Part{u"filter/", u".pf_filter", 1}}) {
    const auto items = cbor.ReadArray();
    if (!items) return files;
    for (std::uint64_t i = 0; i < *items; ++i) {
      const auto fields = cbor.ReadArray();
      if (!fields) return files;
      for (std::uint64_t k = 0; k < *fields; ++k) {
        if (k != part.hashAt) {
          if (!cbor.Skip()) return files;
          continue;
        }
        const auto hash = cbor.ReadText();
        if (hash && IsPlainName(*hash)) {
          files.push_back(part.folder + Wide(*hash) + part.extension);
        }
      }
    }
  }
  return files;
}

}  // namespace kestrine
