#include "site/script/script_scanner.h"

#include <algorithm>
#include <array>
#include <optional>

#include "site/address/address.h"

namespace kestrine {

namespace {

enum class TokenKind { Identifier, String, Template, Punctuator, Other };

// One token. Its text views the script, or `own` when an escape made the
// value differ from its spelling; tokens are moved only with their text.
struct Token {
  TokenKind kind = TokenKind::Other;
  std::u16string_view text;  // an identifier's name, a string's value
  char16_t punctuator = 0;
  bool owned = false;
  std::u16string own;

  std::u16string_view Text() const { return owned ? std::u16string_view(own) : text; }
};

bool IsIdentifierStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$' ||
         c >= 0x80;
}

bool IsIdentifierPart(char16_t c) { return IsIdentifierStart(c) || (c >= u'0' && c <= u'9'); }

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' ||
         c == 0xA0 || c == 0xFEFF || c == 0x2028 || c == 0x2029;
}

// After these words an expression starts, so "/" opens a regular
// expression.
bool IsExpressionKeyword(std::u16string_view word) {
  static constexpr std::u16string_view kKeywords[] = {
      u"await", u"case", u"do",     u"delete", u"else",  u"in",   u"instanceof",
      u"new",   u"of",   u"return", u"typeof", u"throw", u"void", u"yield"};
  if (word.size() < 2 || word.size() > 10) return false;
  return std::find(std::begin(kKeywords), std::end(kKeywords), word) != std::end(kKeywords);
}

// Reads the script one token at a time, as far as telling strings,
// comments and regular expressions apart needs: a "/" after an operand
// divides, anywhere else it opens a regular expression. Every character is
// looked at a bounded number of times, so reading is linear in the script.
class Lexer {
 public:
  explicit Lexer(std::u16string_view text) : text_(text) {}

  bool Next(Token& token) {
    SkipBlanksAndComments();
    if (at_ >= text_.size()) return false;
    const char16_t c = text_[at_];
    token.kind = TokenKind::Other;
    token.text = {};
    token.owned = false;
    token.punctuator = 0;
    if (c == u'"' || c == u'\'') {
      token.kind = TokenKind::String;
      ReadString(c, token);
    } else if (c == u'`') {
      token.kind = ReadTemplate(token) ? TokenKind::String : TokenKind::Template;
    } else if (IsIdentifierStart(c) || c == u'\\') {
      token.kind = TokenKind::Identifier;
      const std::size_t start = at_;
      while (at_ < text_.size() && (IsIdentifierPart(text_[at_]) || text_[at_] == u'\\')) ++at_;
      token.text = text_.substr(start, at_ - start);
    } else if (c >= u'0' && c <= u'9') {
      while (at_ < text_.size() && (IsIdentifierPart(text_[at_]) || text_[at_] == u'.')) ++at_;
    } else if (c == u'/' && !afterOperand_) {
      SkipRegularExpression();
    } else {
      token.kind = TokenKind::Punctuator;
      token.punctuator = c;
      ++at_;
    }
    afterOperand_ = IsOperand(token);
    return true;
  }

 private:
  static bool IsOperand(const Token& token) {
    switch (token.kind) {
      case TokenKind::String:
      case TokenKind::Template:
      case TokenKind::Other:
        return true;
      case TokenKind::Identifier:
        return !IsExpressionKeyword(token.text);
      case TokenKind::Punctuator:
        return token.punctuator == u')' || token.punctuator == u']' || token.punctuator == u'}';
    }
    return false;
  }

  void SkipBlanksAndComments() {
    while (at_ < text_.size()) {
      const char16_t c = text_[at_];
      if (IsBlank(c)) {
        ++at_;
        continue;
      }
      const char16_t next = at_ + 1 < text_.size() ? text_[at_ + 1] : 0;
      if (c == u'/' && next == u'/') {
        const std::size_t end = text_.find(u'\n', at_);
        at_ = end == std::u16string_view::npos ? text_.size() : end;
      } else if (c == u'/' && next == u'*') {
        const std::size_t end = text_.find(u"*/", at_ + 2);
        at_ = end == std::u16string_view::npos ? text_.size() : end + 2;
      } else {
        return;
      }
    }
  }

  // A quoted string ends at its quote or at the end of its line.
  void ReadString(char16_t quote, Token& token) {
    const std::size_t start = ++at_;
    while (at_ < text_.size() && text_[at_] != quote && text_[at_] != u'\n' &&
           text_[at_] != u'\\') {
      ++at_;
    }
    if (at_ >= text_.size() || text_[at_] != u'\\') {
      token.text = text_.substr(start, at_ - start);
      ++at_;
      return;
    }
    token.owned = true;
    token.own.assign(text_.substr(start, at_ - start));
    while (at_ < text_.size() && text_[at_] != quote && text_[at_] != u'\n') {
      if (text_[at_] == u'\\' && at_ + 1 < text_.size()) {
        token.own += Escaped();
      } else {
        token.own += text_[at_++];
      }
    }
    ++at_;
  }

  // The character an escape stands for; at_ is on the backslash.
  char16_t Escaped() {
    const char16_t c = text_[at_ + 1];
    at_ += 2;
    switch (c) {
      case u'n':
        return u'\n';
      case u't':
        return u'\t';
      case u'u': {
        char16_t code = 0;
        for (int i = 0; i < 4 && at_ < text_.size(); ++i, ++at_) {
          const char16_t h = text_[at_];
          const int digit = h >= u'0' && h <= u'9'   ? h - u'0'
                            : h >= u'a' && h <= u'f' ? h - u'a' + 10
                            : h >= u'A' && h <= u'F' ? h - u'A' + 10
                                                     : -1;
          if (digit < 0) break;
          code = static_cast<char16_t>(code * 16 + digit);
        }
        return code;
      }
      default:
        return c;
    }
  }

  // A template literal; true with its text when it has no "${...}", else
  // false with the text after its last one (`${root}_static/plus.png`).
  bool ReadTemplate(Token& token) {
    ++at_;
    token.owned = true;
    token.own.clear();
    bool plain = true;
    int depth = 0;
    while (at_ < text_.size()) {
      const char16_t c = text_[at_];
      if (depth == 0 && c == u'`') {
        ++at_;
        return plain;
      }
      if (c == u'\\' && at_ + 1 < text_.size()) {
        if (depth == 0) {
          token.own += Escaped();
        } else {
          at_ += 2;
        }
        continue;
      }
      if (depth == 0 && c == u'$' && at_ + 1 < text_.size() && text_[at_ + 1] == u'{') {
        plain = false;
        token.own.clear();
        depth = 1;
        at_ += 2;
        continue;
      }
      if (depth > 0) {
        if (c == u'{') ++depth;
        if (c == u'}') --depth;
        if (c == u'"' || c == u'\'') {
          Token ignored;
          ReadString(c, ignored);
          continue;
        }
      } else {
        token.own += c;
      }
      ++at_;
    }
    return plain;
  }

  void SkipRegularExpression() {
    ++at_;
    bool inClass = false;
    while (at_ < text_.size() && text_[at_] != u'\n') {
      const char16_t c = text_[at_++];
      if (c == u'\\') {
        ++at_;
      } else if (c == u'[') {
        inClass = true;
      } else if (c == u']') {
        inClass = false;
      } else if (c == u'/' && !inClass) {
        break;
      }
    }
    while (at_ < text_.size() && IsIdentifierPart(text_[at_])) ++at_;
  }

  std::u16string_view text_;
  std::size_t at_ = 0;
  bool afterOperand_ = false;
};

bool IsPunctuator(const Token& token, char16_t c) {
  return token.kind == TokenKind::Punctuator && token.punctuator == c;
}

bool IsWord(const Token& token, std::u16string_view word) {
  return token.kind == TokenKind::Identifier && token.text == word;
}

// The last few tokens, newest first at back(1): every form is decided by
// them. A token's own text is copied into its slot's buffer, which keeps
// its room from one token to the next.
class RecentTokens {
 public:
  static constexpr std::size_t kKept = 8;
  std::size_t size() const { return size_; }
  const Token& back(std::size_t k) const { return tokens_[(next_ + kKept - k) % kKept]; }
  void Push(const Token& token) {
    Token& slot = tokens_[next_];
    slot.kind = token.kind;
    slot.punctuator = token.punctuator;
    slot.owned = token.owned;
    if (token.owned) {
      slot.own.assign(token.own);
    } else {
      slot.text = token.text;
    }
    next_ = (next_ + 1) % kKept;
    size_ = std::min(size_ + 1, kKept);
  }

 private:
  std::array<Token, kKept> tokens_;
  std::size_t next_ = 0;
  std::size_t size_ = 0;
};

// A string token in a place where scripts load a file.
bool IsLoadedLiteral(const RecentTokens& recent, bool inModuleStatement, int importScriptsDepth,
                     int parentheses) {
  const std::size_t n = recent.size();
  const auto back = [&](std::size_t k) -> const Token& { return recent.back(k); };
  const bool call = n >= 2 && IsPunctuator(back(1), u'(');
  const bool dotted = n >= 3 && IsPunctuator(back(3), u'.');
  return (call && !dotted && IsWord(back(2), u"import")) ||
         (n >= 1 && IsWord(back(1), u"import") && !(n >= 2 && IsPunctuator(back(2), u'.'))) ||
         (n >= 1 && IsWord(back(1), u"from") && inModuleStatement) ||
         (call && !dotted && (IsWord(back(2), u"fetch") || IsWord(back(2), u"importScripts"))) ||
         (call && n >= 3 && IsWord(back(3), u"new") &&
          (IsWord(back(2), u"Worker") || IsWord(back(2), u"SharedWorker"))) ||
         (call && n >= 4 && IsWord(back(2), u"register") && dotted &&
          IsWord(back(4), u"serviceWorker")) ||
         (importScriptsDepth > 0 && parentheses == importScriptsDepth && n >= 1 &&
          IsPunctuator(back(1), u','));
}

void AddLoaded(std::u16string_view reference, FoundNames& names) {
  if (!reference.empty() && !HasForeignScheme(reference)) names.Add(reference);
}

// Markup a script writes comes in pieces: '<img src="' + root +
// 'sync_on.png" title="' ends an attribute's value with a path, and
// '<img src="img/a.png">' holds a whole one.
void GuessPathsInMarkup(std::u16string_view text, FoundNames& guesses) {
  const std::size_t quote = text.find_first_of(u"\"'");
  if (quote == std::u16string_view::npos) return;
  if (ScriptScanner::LooksLikeSitePath(text.substr(0, quote))) guesses.Add(text.substr(0, quote));
  for (const std::u16string_view attribute : {u"src=", u"href="}) {
    for (std::size_t at = text.find(attribute); at != std::u16string_view::npos && !guesses.Done();
         at = text.find(attribute, at + 1)) {
      const std::size_t open = at + attribute.size();
      if (open >= text.size() || (text[open] != u'"' && text[open] != u'\'')) continue;
      const std::size_t close = text.find(text[open], open + 1);
      if (close == std::u16string_view::npos) continue;
      const std::u16string_view value = text.substr(open + 1, close - open - 1);
      if (ScriptScanner::LooksLikeSitePath(value)) guesses.Add(value);
    }
  }
}

void GuessPaths(std::u16string_view text, FoundNames& guesses) {
  if (ScriptScanner::LooksLikeSitePath(text)) {
    guesses.Add(text);
  } else {
    GuessPathsInMarkup(text, guesses);
  }
}

}  // namespace

void ScriptScanner::ScriptReferences(std::u16string_view script, FoundNames& names,
                                     FoundNames* guesses) {
  Lexer lexer(script);
  RecentTokens recent;
  bool inModuleStatement = false;  // since "import" or "export", up to ";"
  // new URL("x", import.meta.url) names a file beside the module; new URL
  // with any other base is left alone.
  std::optional<std::u16string> besideModule;
  // Inside importScripts( ... ), every string argument is a script.
  int importScriptsDepth = 0;
  int parentheses = 0;
  Token token;
  while (lexer.Next(token) && !names.Done()) {
    const std::size_t n = recent.size();
    if (besideModule && n >= 2 && IsPunctuator(recent.back(1), u',')) {
      if (IsWord(token, u"import")) AddLoaded(*besideModule, names);
      besideModule.reset();
    } else if (besideModule && !IsPunctuator(token, u',')) {
      besideModule.reset();
    }
    if (token.kind == TokenKind::String && n >= 3 && IsPunctuator(recent.back(1), u'(') &&
        IsWord(recent.back(2), u"URL") && IsWord(recent.back(3), u"new")) {
      besideModule = std::u16string(token.Text());
    } else if (token.kind == TokenKind::String &&
               IsLoadedLiteral(recent, inModuleStatement, importScriptsDepth, parentheses)) {
      AddLoaded(token.Text(), names);
    } else if (guesses != nullptr &&
               (token.kind == TokenKind::String || token.kind == TokenKind::Template)) {
      GuessPaths(token.Text(), *guesses);
    }
    if (IsPunctuator(token, u'(')) {
      ++parentheses;
      if (n >= 1 && IsWord(recent.back(1), u"importScripts")) importScriptsDepth = parentheses;
    } else if (IsPunctuator(token, u')')) {
      if (parentheses == importScriptsDepth) importScriptsDepth = 0;
      parentheses = std::max(0, parentheses - 1);
    }
    if (IsWord(token, u"import") || IsWord(token, u"export")) inModuleStatement = true;
    if (IsPunctuator(token, u';')) inModuleStatement = false;
    recent.Push(token);
  }
}

// The endings of the files a page or its scripts load; a path with another
// one in a JSON text is more likely words ("docs/intro.md") than a file.
bool IsWebFileExtension(std::u16string_view extension) {
  static constexpr std::u16string_view kExtensions[] = {
      u"js",          u"mjs",      u"cjs",     u"css",      u"json",        u"wasm",
      u"png",         u"jpg",      u"jpeg",    u"gif",      u"webp",        u"avif",
      u"svg",         u"ico",      u"woff",    u"woff2",    u"ttf",         u"otf",
      u"eot",         u"html",     u"htm",     u"xml",      u"txt",         u"pdf",
      u"mp4",         u"webm",     u"mp3",     u"ogg",      u"wav",         u"vtt",
      u"webmanifest", u"pagefind", u"pf_meta", u"pf_index", u"pf_fragment", u"pf_filter"};
  for (std::u16string_view known : kExtensions) {
    if (extension.size() == known.size()) {
      bool same = true;
      for (std::size_t i = 0; i < known.size() && same; ++i) {
        char16_t c = extension[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        same = c == known[i];
      }
      if (same) return true;
    }
  }
  return false;
}

namespace {

// Characters no file name of a site is written with in a script, but
// patterns, markup and prose are.
bool HasNonPathCharacter(std::u16string_view text) {
  for (char16_t c : text) {
    if (c <= u' ' || c == u'{' || c == u'}' || c == u'*' || c == u'<' || c == u'>' || c == u'\\' ||
        c == u'(' || c == u')' || c == u'[' || c == u']' || c == u'"' || c == u'\'' || c == u',' ||
        c == u';' || c == u'|' || c == u'^' || c == u'$') {
      return true;
    }
  }
  return false;
}

// `path` without its query.
bool HasWebFileEnding(std::u16string_view path) {
  const std::u16string_view name = path.substr(path.rfind(u'/') + 1);
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0 || dot + 1 >= name.size()) return false;
  return IsWebFileExtension(name.substr(dot + 1));
}

}  // namespace

bool ScriptScanner::LooksLikeSitePath(std::u16string_view text) {
  if (text.size() < 2 || text.size() > 300 || HasForeignScheme(text) || text.starts_with(u"//") ||
      HasNonPathCharacter(text)) {
    return false;
  }
  const std::u16string_view path = text.substr(0, text.find_first_of(u"?#"));
  if (path.ends_with(u'/')) {
    // A folder: written as a path, with a name ("/docs/", "../api/").
    const bool rooted =
        path.starts_with(u'/') || path.starts_with(u"./") || path.starts_with(u"../");
    const std::size_t letter = path.find_first_not_of(u"./");
    return rooted && letter != std::u16string_view::npos && path.find(u"//") == path.npos;
  }
  return path.find(u"//") == path.npos && HasWebFileEnding(path);
}

bool ScriptScanner::LooksLikeFilePath(std::u16string_view text) {
  if (text.size() < 3 || text.size() > 300 || HasForeignScheme(text) || HasNonPathCharacter(text)) {
    return false;
  }
  return text.find(u'/') != std::u16string_view::npos &&
         HasWebFileEnding(text.substr(0, text.find_first_of(u"?#")));
}

void ScriptScanner::JsonPaths(std::u16string_view json, FoundNames& names) {
  Lexer lexer(json);
  Token token;
  Token pending;
  bool hasPending = false;
  while (lexer.Next(token) && !names.Done()) {
    // A string is a value unless a ":" follows it.
    if (hasPending && !IsPunctuator(token, u':') && LooksLikeFilePath(pending.Text())) {
      names.Add(pending.Text());
    }
    hasPending = token.kind == TokenKind::String;
    if (hasPending) std::swap(pending, token);
  }
  if (hasPending && LooksLikeFilePath(pending.Text())) names.Add(pending.Text());
}

}  // namespace kestrine
