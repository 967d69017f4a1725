#include "runtime/string_utility.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kestrine {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<char16_t>(code));
  } else {
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Invalid, overlong and
// surrogate encodings give U+FFFD and consume one byte.
char32_t DecodeUtf8At(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int length = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + length > text.size()) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += length;
  return code;
}

}  // namespace

std::vector<std::u16string_view> StringUtility::SplitViews(std::u16string_view text,
                                                           char16_t separator) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(separator, start);
    if (end == std::u16string_view::npos) {
      parts.push_back(text.substr(start));
      break;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<std::u16string> StringUtility::Split(const std::u16string& text, char16_t separator) {
  std::vector<std::u16string> parts;
  for (std::u16string_view part : SplitViews(text, separator)) parts.emplace_back(part);
  return parts;
}

std::size_t StringUtility::Find(std::u16string_view text, std::u16string_view pattern,
                                std::size_t from) {
  const std::size_t size = pattern.size();
  if (size == 0) return from <= text.size() ? from : std::u16string_view::npos;
  if (text.size() < size) return std::u16string_view::npos;
  const char16_t head = pattern[0];
  for (std::size_t at = from; at + size <= text.size(); ++at) {
    if (text[at] != head) continue;
    std::size_t k = 1;
    while (k < size && text[at + k] == pattern[k]) ++k;
    if (k == size) return at;
  }
  return std::u16string_view::npos;
}

std::u16string StringUtility::ReplaceAll(std::u16string text, std::u16string_view from,
                                         std::u16string_view to) {
  if (from.empty()) return text;
  std::size_t at = Find(text, from);
  if (at == std::u16string::npos) return text;
  std::u16string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  while (at != std::u16string::npos) {
    out.append(text, copied, at - copied);
    out.append(to);
    copied = at + from.size();
    at = Find(text, from, copied);
  }
  out.append(text, copied, std::u16string::npos);
  return out;
}

bool StringUtility::StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string StringUtility::ToLowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::u16string StringUtility::ToLowerAscii(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return text;
}

std::string StringUtility::TrimAscii(const std::string& text) {
  constexpr std::string_view kWhite = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(kWhite);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhite) - first + 1);
}

bool StringUtility::EqualsIgnoreCaseAscii(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

std::u16string StringUtility::TrimWhiteSpace(const std::u16string& text) {
  constexpr std::u16string_view kWhite = u" \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(kWhite);
  if (first == std::u16string::npos) return {};
  const std::size_t last = text.find_last_not_of(kWhite);
  return text.substr(first, last - first + 1);
}

std::u16string StringUtility::FromAscii(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

std::string StringUtility::ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t code = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      AppendUtf8(out, code);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

namespace {

// How many units from `from` on are ASCII, looked at eight at a time, up
// to `most`.
std::size_t AsciiUnits(std::u16string_view text, std::size_t from, std::size_t most) {
  const std::size_t end = std::min(text.size(), from + most);
  std::size_t i = from;
  for (; i + 8 <= end; i += 8) {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::memcpy(&low, text.data() + i, 8);
    std::memcpy(&high, text.data() + i + 4, 8);
    if (((low | high) & 0xFF80FF80FF80FF80ULL) != 0) break;
  }
  while (i < end && text[i] < 0x80) ++i;
  return i - from;
}

}  // namespace

void StringUtility::AppendAsUtf8(std::string& out, std::u16string_view text) {
  out.reserve(out.size() + text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    // Runs of ASCII, most of a page, go through a block on the stack: no
    // check of room for each byte, no zero fill before it is written.
    char block[256];
    if (const std::size_t run = AsciiUnits(text, i, sizeof block); run > 0) {
      for (std::size_t k = 0; k < run; ++k) block[k] = static_cast<char>(text[i + k]);
      out.append(block, run);
      i += run;
      continue;
    }
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      i += 2;
      continue;
    }
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      out += '?';
    } else {
      AppendUtf8(out, unit);
    }
    ++i;
  }
}

std::u16string StringUtility::FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) AppendUtf16(out, DecodeUtf8At(text, i));
  return out;
}

namespace {

bool ReordersText(char32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

std::string StringUtility::Printable(std::string_view text) {
  static const char* kHex = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char32_t code = DecodeUtf8At(text, i);
    if (code < 0x20 || code == 0x7F) {
      out += "\\x";
      out += kHex[(code >> 4) & 0xF];
      out += kHex[code & 0xF];
    } else if ((code >= 0x80 && code <= 0x9F) || ReordersText(code)) {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
    } else {
      // Bytes that are no UTF-8 come out as U+FFFD, never raw.
      AppendUtf8(out, code);
    }
  }
  return out;
}

std::string StringUtility::WithThousands(long long count) {
  const std::string digits = std::to_string(count);
  const std::size_t sign = count < 0 ? 1 : 0;
  std::string out(digits, 0, sign);
  for (std::size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string StringUtility::PercentDecoded(std::string_view text) {
  const auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

void StringUtility::AppendPercentEncoded(std::u16string& out, char16_t c) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u'%';
  out += kHex[(c >> 4) & 0xF];
  out += kHex[c & 0xF];
}

}  // namespace kestrine
