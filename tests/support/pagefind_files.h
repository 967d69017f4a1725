#pragma once

#include <string>

#include "support/gzip.h"

namespace kestrine::testing {

// A short CBOR text string, as Pagefind's meta files hold them.
inline std::string CborText(const std::string& text) {
  return std::string(1, static_cast<char>(0x60 + text.size())) + text;
}

}  // namespace kestrine::testing
