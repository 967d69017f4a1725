#include "viewer/own_origin_links.h"

#include <array>
#include <cctype>

#include "runtime/string_utility.h"

namespace kestrine {

namespace {

// What may continue a host name: then the match was a longer host.
bool ContinuesHost(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == ':' ||
         c == '_';
}

bool SameHost(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The length of the site's origin written at `at`, or 0.
std::size_t OriginAt(std::string_view text, std::size_t at, std::string_view host) {
  static constexpr std::array<std::string_view, 4> kSchemes = {"https://", "http://",
                                                               "https:\\/\\/", "http:\\/\\/"};
  for (std::string_view scheme : kSchemes) {
    const std::size_t end = at + scheme.size() + host.size();
    if (end > text.size() || text.compare(at, scheme.size(), scheme) != 0) continue;
    const std::string_view written = text.substr(at + scheme.size(), host.size());
    if (!SameHost(written, host)) continue;
    if (end < text.size() && ContinuesHost(text[end])) continue;
    return end - at;
  }
  return 0;
}

}  // namespace

bool OwnOriginLinks::AppliesTo(std::string_view contentType) {
  const std::string type = StringUtility::ToLowerAscii(
      StringUtility::TrimAscii(std::string(contentType.substr(0, contentType.find(';')))));
  return type == "text/html" || type == "application/xhtml+xml" || type == "application/json" ||
         type.ends_with("+json");
}

std::string OwnOriginLinks::Rewritten(std::string_view text, std::string_view host,
                                      std::string_view viewerOrigin) {
  std::string out;
  if (host.empty()) return std::string(text);
  out.reserve(text.size());
  std::size_t copied = 0;
  std::size_t at = text.find("http");
  while (at != std::string_view::npos) {
    if (const std::size_t length = OriginAt(text, at, host); length > 0) {
      out.append(text.substr(copied, at - copied));
      out.append(viewerOrigin);
      copied = at + length;
      at = text.find("http", copied);
    } else {
      at = text.find("http", at + 4);
    }
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace kestrine
