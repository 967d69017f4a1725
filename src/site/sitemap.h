#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

// A sitemap (sitemaps.org): the addresses its <loc> elements name, and
// whether it is an index of further sitemaps rather than of pages.
struct Sitemap {
  bool isIndex = false;
  std::vector<std::string> locations;  // UTF-8, entities decoded, trimmed

  // Reads the XML as far as it goes; anything that is no sitemap names
  // nothing.
  static Sitemap Read(std::string_view xml);
};

}  // namespace kestrine
