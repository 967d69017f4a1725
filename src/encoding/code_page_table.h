#pragma once

#include <span>
#include <string_view>

namespace kestrine {

struct CodePageRow {
  int codePage;
  std::u16string_view name;         // matched ignoring case; empty rows never match
  std::u16string_view description;  // for people; nothing reads it
};

// The 152 code pages in their published order; the first matching name wins.
std::span<const CodePageRow> CodePageRows();

// The iconv name that converts a code page on this platform, or an empty
// view when none does.
std::string_view IconvNameForCodePage(int codePage);

}  // namespace kestrine
