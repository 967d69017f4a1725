#pragma once

#include <cstdio>
#include <string>

#include "runtime/string_utility.h"

namespace kestrine {

// printf-style formatting of a UTF-16 format text. Text arguments are passed
// as UTF-8 (`const char*`), numbers as they are.
template <typename... Args>
std::u16string FormatText(const std::u16string& format, Args... args) {
  const std::string narrow = StringUtility::ToUtf8(format);
  const int size = std::snprintf(nullptr, 0, narrow.c_str(), args...);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(out.data(), out.size(), narrow.c_str(), args...);
  out.resize(static_cast<std::size_t>(size));
  return StringUtility::FromUtf8(out);
}

}  // namespace kestrine
