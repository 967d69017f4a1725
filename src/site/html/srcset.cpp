#include "site/html/srcset.h"

namespace kestrine {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// The descriptors after a candidate's address run to the next comma that is
// not inside parentheses.
std::size_t DescriptorsEnd(std::u16string_view value, std::size_t from) {
  int depth = 0;
  for (std::size_t i = from; i < value.size(); ++i) {
    if (value[i] == u'(') ++depth;
    if (value[i] == u')' && depth > 0) --depth;
    if (value[i] == u',' && depth == 0) return i;
  }
  return value.size();
}

}  // namespace

std::optional<std::u16string> RewriteSrcset(std::u16string_view value,
                                            IReferenceRewriter& rewriter) {
  std::u16string out;
  bool changed = false;
  std::size_t i = 0;
  while (i < value.size()) {
    // Separators between candidates are copied as they are.
    const std::size_t start = i;
    while (i < value.size() && (IsBlank(value[i]) || value[i] == u',')) ++i;
    out.append(value.substr(start, i - start));
    if (i >= value.size()) break;
    std::size_t urlEnd = i;
    while (urlEnd < value.size() && !IsBlank(value[urlEnd])) ++urlEnd;
    // Commas that end the address separate candidates; they are not part of it.
    std::size_t trimmed = urlEnd;
    while (trimmed > i && value[trimmed - 1] == u',') --trimmed;
    const std::u16string url(value.substr(i, trimmed - i));
    if (std::optional<std::u16string> written = rewriter.Rewrite(url)) {
      out += *written;
      changed = true;
    } else {
      out += url;
    }
    i = trimmed;
    if (trimmed == urlEnd) {
      const std::size_t end = DescriptorsEnd(value, urlEnd);
      out.append(value.substr(urlEnd, end - urlEnd));
      i = end;
    }
  }
  if (!changed) return std::nullopt;
  return out;
}

}  // namespace kestrine
