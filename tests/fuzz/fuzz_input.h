#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/string_utility.h"

namespace kestrine::fuzz {

// The fuzzer's bytes as text, and cut in two at the first zero byte.
inline std::u16string Text(std::string_view bytes) { return StringUtility::FromUtf8(bytes); }

inline std::pair<std::string_view, std::string_view> Halves(const std::uint8_t* data,
                                                            std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = all.find('\0');
  if (zero == std::string_view::npos) return {all, {}};
  return {all.substr(0, zero), all.substr(zero + 1)};
}

// Checks that hold in every build, not only with assertions on.
#define KESTRINE_FUZZ_CHECK(condition)  \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (false)

}  // namespace kestrine::fuzz
