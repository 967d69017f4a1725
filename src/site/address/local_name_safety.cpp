#include "site/address/local_name_safety.h"

#include <cstdint>
#include <cstdio>

#include "runtime/fnv_hash.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

bool IsDotComponent(const std::u16string& part) { return part == u"." || part == u".."; }

std::size_t Utf8Length(char16_t unit, bool pairedHigh) {
  if (pairedHigh) return 4;  // the pair as a whole
  if (unit < 0x80) return 1;
  if (unit < 0x800) return 2;
  return 3;  // BMP characters, and lone surrogates written as U+FFFD
}

std::u16string HashTag(const std::u16string& name) {
  FnvHash fnv;
  for (char16_t unit : name) fnv.Add(unit);
  const std::uint64_t hash = fnv.value();
  char text[17];
  std::snprintf(text, sizeof text, "%08llx",
                static_cast<unsigned long long>((hash >> 32) ^ (hash & 0xFFFFFFFFull)));
  return StringUtility::FromAscii(text);
}

// The longest prefix of text, in whole characters, that takes at most budget
// bytes of UTF-8.
std::u16string PrefixWithinBytes(const std::u16string& text, std::size_t budget) {
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    const std::size_t cost = Utf8Length(text[i], pair);
    if (used + cost > budget) break;
    used += cost;
    i += pair ? 2 : 1;
  }
  return text.substr(0, i);
}

std::u16string Shortened(const std::u16string& name) {
  const std::size_t dot = name.rfind(u'.');
  std::u16string extension = dot == std::u16string::npos ? u"" : name.substr(dot);
  std::u16string stem = dot == std::u16string::npos ? name : name.substr(0, dot);
  const std::u16string tag = u"~" + HashTag(name);
  // An extension is at most a few characters by the naming rules; cap it all
  // the same so a hostile one cannot eat the whole budget.
  extension = PrefixWithinBytes(extension, 32);
  const std::size_t budget = kMaxFileNameBytes - StringUtility::ToUtf8(tag + extension).size();
  return PrefixWithinBytes(stem, budget) + tag + extension;
}

bool HasDotComponent(const std::u16string& folderName) {
  std::size_t start = 0;
  while (start <= folderName.size()) {
    std::size_t end = folderName.find(u'\\', start);
    if (end == std::u16string::npos) end = folderName.size();
    const std::size_t length = end - start;
    if ((length == 1 || length == 2) && folderName[start] == u'.' && folderName[end - 1] == u'.') {
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

std::u16string WithoutDotComponents(const std::u16string& folderName) {
  if (!HasDotComponent(folderName)) return folderName;
  std::u16string out;
  out.reserve(folderName.size());
  std::size_t start = 0;
  bool first = true;
  while (true) {
    const std::size_t end = folderName.find(u'\\', start);
    const std::u16string part =
        folderName.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    const bool last = end == std::u16string::npos;
    if (!IsDotComponent(part)) {
      if (!first) out.push_back(u'\\');
      out += part;
      first = false;
    }
    if (last) break;
    start = end + 1;
  }
  return out;
}

std::u16string SafeFolderName(const std::u16string& folderName) {
  // "\" separates the components; a "/" inside one (a host that an address
  // without one left behind) or a control character is neutralised first,
  // so no component can climb out or be split by the platform.
  std::u16string cleaned = folderName;
  for (char16_t& c : cleaned) {
    if (c == u'/' || c < 0x20 || c == 0x7F) c = u'-';
  }
  std::u16string safe = WithoutDotComponents(cleaned);
  if (StringUtility::ToUtf8(safe).size() <= kMaxFileNameBytes) return safe;
  std::u16string out;
  out.reserve(safe.size());
  std::size_t start = 0;
  while (true) {
    const std::size_t end = safe.find(u'\\', start);
    const std::u16string part =
        safe.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    out += StringUtility::ToUtf8(part).size() > kMaxFileNameBytes ? Shortened(part) : part;
    if (end == std::u16string::npos) break;
    out += u'\\';
    start = end + 1;
  }
  return out;
}

std::u16string SafeFileName(const std::u16string& name) {
  std::u16string safe = name;
  for (char16_t& c : safe) {
    if (c == u'\\' || c == u'/' || c < 0x20 || c == 0x7F) c = u'-';
  }
  if (safe.empty() || IsDotComponent(safe)) safe = u"-" + safe;
  if (StringUtility::ToUtf8(safe).size() > kMaxFileNameBytes) safe = Shortened(safe);
  return safe;
}

}  // namespace kestrine
