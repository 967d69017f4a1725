#include "site/html/html_character_references.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace kestrine {

namespace {

struct NamedReference {
  const char* name;
  char32_t first;
  char32_t second;
};

constexpr NamedReference kNamed[] = {
#include "site/html/html_named_references.inc"
};

// The longest name of the table is 32 characters with its semicolon.
constexpr std::size_t kLongestName = 33;

// What a numeric reference in 0x80..0x9F stands for: the windows-1252
// character at that place, as browsers read it.
constexpr std::array<char16_t, 32> kWindows1252 = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

bool IsAlphanumeric(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

void Append(std::u16string& out, char32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  } else {
    out += static_cast<char16_t>(code);
  }
}

const NamedReference* FindNamed(std::string_view name) {
  const auto* end = std::end(kNamed);
  const auto* found = std::lower_bound(std::begin(kNamed), end, name,
                                       [](const NamedReference& entry, std::string_view wanted) {
                                         return std::string_view(entry.name) < wanted;
                                       });
  return found != end && std::string_view(found->name) == name ? found : nullptr;
}

// "&#...;" at `at` (the "&"): the characters it stands for appended and
// the length taken; 0 when it is no reference.
std::size_t Numeric(std::u16string_view text, std::size_t at, std::u16string& out) {
  std::size_t i = at + 2;
  const bool hex = i < text.size() && (text[i] == u'x' || text[i] == u'X');
  if (hex) ++i;
  const std::size_t digits = i;
  char32_t code = 0;
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexValue(text[i]) : (text[i] >= u'0' && text[i] <= u'9' ? text[i] - u'0' : -1);
    if (digit < 0) break;
    code = std::min<char32_t>(code * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
  }
  if (i == digits) return 0;
  if (i < text.size() && text[i] == u';') ++i;
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    code = 0xFFFD;
  } else if (code >= 0x80 && code <= 0x9F) {
    code = kWindows1252[code - 0x80];
  }
  Append(out, code);
  return i - at;
}

// "&name;" at `at`: the longest name of the table that the text begins
// with. In an attribute a name taken without its semicolon and followed by
// "=" or a letter or digit stays as written ("?a=1&copy=2").
std::size_t Named(std::u16string_view text, std::size_t at, std::u16string& out) {
  std::string name;
  for (std::size_t i = at + 1; i < text.size() && name.size() < kLongestName; ++i) {
    const char16_t c = text[i];
    if (!IsAlphanumeric(c) && c != u';') break;
    name += static_cast<char>(c);
    if (c == u';') break;
  }
  for (std::size_t length = name.size(); length > 0; --length) {
    const NamedReference* found = FindNamed(std::string_view(name).substr(0, length));
    if (found == nullptr) continue;
    const std::size_t next = at + 1 + length;
    if (name[length - 1] != u';' && next < text.size() &&
        (text[next] == u'=' || IsAlphanumeric(text[next]))) {
      return 0;
    }
    Append(out, found->first);
    if (found->second != 0) Append(out, found->second);
    return length + 1;
  }
  return 0;
}

}  // namespace

std::u16string HtmlCharacterReferences::DecodeAttribute(std::u16string_view raw) {
  std::u16string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size();) {
    // What reads as itself, most of a value, goes in one step.
    std::size_t plain = i;
    while (plain < raw.size() && raw[plain] != u'&' && raw[plain] != u'\r' && raw[plain] != 0) {
      ++plain;
    }
    if (plain > i) {
      out.append(raw.substr(i, plain - i));
      i = plain;
      continue;
    }
    const char16_t c = raw[i];
    if (c == u'&') {
      const bool numeric = i + 1 < raw.size() && raw[i + 1] == u'#';
      const std::size_t taken = numeric ? Numeric(raw, i, out) : Named(raw, i, out);
      if (taken > 0) {
        i += taken;
        continue;
      }
    }
    if (c == u'\r') {
      out += u'\n';
      i += i + 1 < raw.size() && raw[i + 1] == u'\n' ? 2 : 1;
      continue;
    }
    out += c == 0 ? char16_t{0xFFFD} : c;
    ++i;
  }
  return out;
}

std::u16string HtmlCharacterReferences::EncodeAttribute(std::u16string_view value, char16_t quote) {
  if (quote == 0) {
    const bool needsQuotes =
        value.empty() || value.find_first_of(u" \t\n\f\r\"'=<>`") != std::u16string_view::npos;
    if (needsQuotes) return u"\"" + EncodeAttribute(value, u'"') + u"\"";
  }
  std::u16string out;
  out.reserve(value.size() + 8);
  for (char16_t c : value) {
    if (c == u'&') {
      out += u"&amp;";
    } else if (c == u'"' && quote == u'"') {
      out += u"&quot;";
    } else if (c == u'\'' && quote == u'\'') {
      out += u"&#39;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace kestrine
