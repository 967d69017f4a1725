#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

// A sitemap (sitemaps.org): the addresses its <loc> elements name, and
// whether it is an index of further sitemaps rather than of pages.
struct Sitemap {
  // A sitemap may list at most this many addresses (sitemaps.org).
  static constexpr std::size_t kMaxLocations = 50000;

  bool isIndex = false;
  std::vector<std::string> locations;  // UTF-8, entities decoded, trimmed
  std::size_t beyondLimit = 0;         // further <loc> elements, not taken

  // Reads the XML as far as it goes, taking at most `maxLocations`;
  // anything that is no sitemap names nothing.
  static Sitemap Read(std::string_view xml, std::size_t maxLocations = kMaxLocations);
};

}  // namespace kestrine
