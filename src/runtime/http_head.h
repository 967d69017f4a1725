#pragma once

#include <string_view>

namespace kestrine {

// Reads fields of an HTTP message head (start line, "Name: value" lines,
// CRLF or LF endings) in place: heads are read for every exchange, so no
// lowered copy of them is made.
class HttpHead {
 public:
  // The value of the first field named `name` (in any case), without the
  // blanks around it; empty when there is none.
  static std::string_view Field(std::string_view head, std::string_view name);
  static bool HasField(std::string_view head, std::string_view name);
  // Field names compare without regard to case.
  static bool SameName(std::string_view a, std::string_view b);
  // Whether `value` holds `word` in any case, as "chunked" in "gzip, Chunked".
  static bool Holds(std::string_view value, std::string_view word);
};

}  // namespace kestrine
