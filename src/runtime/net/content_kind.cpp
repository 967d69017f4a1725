#include "runtime/net/content_kind.h"

#include <array>
#include <utility>

namespace kestrine {

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

}  // namespace

ContentKind ContentKindOf(std::string_view contentType) {
  static constexpr std::array<std::pair<std::string_view, ContentKind>, 8> kTypes = {{
      {"text/html", ContentKind::Page},
      {"text/css", ContentKind::StyleSheet},
      {"image/svg+xml", ContentKind::Svg},
      {"text/javascript", ContentKind::Script},
      {"application/javascript", ContentKind::Script},
      {"application/x-javascript", ContentKind::Script},
      {"application/ecmascript", ContentKind::Script},
      {"application/json", ContentKind::Json},
  }};
  const std::string_view type = Trimmed(contentType);
  for (const auto& [prefix, kind] : kTypes) {
    if (StartsWithIgnoringCase(type, prefix)) return kind;
  }
  // application/manifest+json, application/ld+json...
  const std::string_view essence = type.substr(0, type.find(';'));
  if (essence.size() > 5 && StartsWithIgnoringCase(essence.substr(essence.size() - 5), "+json")) {
    return ContentKind::Json;
  }
  return ContentKind::Other;
}

bool IsReadText(ContentKind kind) { return kind != ContentKind::Other; }

}  // namespace kestrine
