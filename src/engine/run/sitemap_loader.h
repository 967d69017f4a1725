#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrine {

// Queues the pages a site's sitemaps name, as if the start page linked them,
// within the bounds of the sitemap protocol and of memory: at most 50,000
// addresses from one sitemap, 500,000 in all, and 50 sitemaps (an index of
// sitemaps is followed to its sitemaps). Compressed sitemaps
// (sitemap.xml.gz) are unpacked within the bomb bound.
class SitemapLoader {
 public:
  static constexpr std::size_t kMaxSitemaps = 50;
  static constexpr std::size_t kMaxAddresses = 500000;
  // Unpacked, a sitemap is at most 50 MB (sitemaps.org).
  static constexpr std::size_t kMaxSitemapBytes = 50u * 1024 * 1024;

  struct Site {
    std::u16string host;    // only sitemaps on the site's own host are read
    std::u16string prefix;  // only addresses under it are queued
  };
  struct Hooks {
    // The body of a sitemap, or nothing when it could not be fetched.
    std::function<std::optional<std::string>(const std::u16string& address)> fetch;
    // Queues an address; true when it was new to the project.
    std::function<bool(const std::u16string& address)> queue;
    // A cancel or a pause: no further sitemap is read.
    std::function<bool()> stopped;
  };
  struct Counts {
    int taken = 0;      // addresses a sitemap added to the project
    int beyondCap = 0;  // addresses left out by the bounds above
  };

  // Reads the sitemaps robots.txt named, or `fallback` (/sitemap.xml) when
  // it named none.
  static Counts Load(std::vector<std::string> sitemaps, const std::u16string& fallback,
                     const Site& site, const Hooks& hooks);
};

}  // namespace kestrine
