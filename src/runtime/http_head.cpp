#include "runtime/http_head.h"

#include <optional>

namespace kestrine {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<std::string_view> Find(std::string_view head, std::string_view name) {
  // The start line is no field, whatever it holds.
  std::size_t at = head.find('\n');
  while (at != std::string_view::npos && at + 1 < head.size()) {
    const std::size_t start = at + 1;
    const std::size_t end = head.find('\n', start);
    const std::string_view line =
        head.substr(start, end == std::string_view::npos ? head.npos : end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && SameIgnoringCase(line.substr(0, colon), name)) {
      return TrimBlanks(line.substr(colon + 1));
    }
    at = end;
  }
  return std::nullopt;
}

}  // namespace

std::string_view HttpHead::Field(std::string_view head, std::string_view name) {
  return Find(head, name).value_or(std::string_view());
}

bool HttpHead::HasField(std::string_view head, std::string_view name) {
  return Find(head, name).has_value();
}

bool HttpHead::SameName(std::string_view a, std::string_view b) { return SameIgnoringCase(a, b); }

bool HttpHead::Holds(std::string_view value, std::string_view word) {
  if (word.empty()) return true;
  for (std::size_t i = 0; i + word.size() <= value.size(); ++i) {
    if (SameIgnoringCase(value.substr(i, word.size()), word)) return true;
  }
  return false;
}

}  // namespace kestrine
