#include "viewer/byte_range.h"

#include <optional>

namespace kestrine {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A decimal number of at most 18 digits, so it cannot overflow.
std::optional<std::uint64_t> Number(std::string_view digits) {
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

ByteRange ByteRange::For(std::string_view header, std::uint64_t size) {
  ByteRange whole;
  header = Trimmed(header);
  if (!header.starts_with("bytes=")) return whole;
  const std::string_view spec = Trimmed(header.substr(6));
  const std::size_t dash = spec.find('-');
  if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) return whole;
  const std::string_view from = Trimmed(spec.substr(0, dash));
  const std::string_view to = Trimmed(spec.substr(dash + 1));
  ByteRange range{Kind::Part, 0, 0};
  if (from.empty()) {
    // "-500": the last 500 bytes.
    const auto suffix = Number(to);
    if (!suffix) return whole;
    if (*suffix == 0 || size == 0) return {Kind::Unsatisfiable};
    range.first = size - std::min(*suffix, size);
    range.last = size - 1;
    return range;
  }
  const auto first = Number(from);
  if (!first) return whole;
  std::optional<std::uint64_t> last;
  if (!to.empty()) {
    last = Number(to);
    if (!last || *last < *first) return whole;
  }
  if (*first >= size) return {Kind::Unsatisfiable};
  range.first = *first;
  range.last = last ? std::min(*last, size - 1) : size - 1;
  return range;
}

}  // namespace kestrine
