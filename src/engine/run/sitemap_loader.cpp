#include "engine/run/sitemap_loader.h"

#include "encoding/gunzip.h"
#include "runtime/string_utility.h"
#include "site/address/address.h"
#include "site/rules/sitemap.h"

namespace kestrine {

namespace {

// A sitemap as served, unpacked when it came compressed without saying so
// in its encoding (sitemap.xml.gz as application/gzip).
std::optional<std::string> Unpacked(std::string body) {
  if (!LooksGzipped(body)) return body;
  Result<std::string> unpacked =
      Gunzip(body, UnpackBound(body.size(), 1u << 20, SitemapLoader::kMaxSitemapBytes));
  if (!unpacked) return std::nullopt;
  return std::move(*unpacked);
}

}  // namespace

SitemapLoader::Counts SitemapLoader::Load(std::vector<std::string> sitemaps,
                                          const std::u16string& fallback, const Site& site,
                                          const Hooks& hooks) {
  Counts counts;
  if (sitemaps.empty()) sitemaps.push_back(StringUtility::ToUtf8(fallback));
  std::size_t left = kMaxAddresses;
  for (std::size_t i = 0; i < sitemaps.size() && i < kMaxSitemaps && !hooks.stopped(); ++i) {
    const std::u16string address = StringUtility::FromUtf8(sitemaps[i]);
    if (!StringUtility::EqualsIgnoreCaseAscii(SiteHostOf(address), site.host)) continue;
    std::optional<std::string> body = hooks.fetch(address);
    if (body) body = Unpacked(std::move(*body));
    if (!body) continue;
    const Sitemap sitemap = Sitemap::Read(*body, std::min(Sitemap::kMaxLocations, left));
    counts.beyondCap += static_cast<int>(sitemap.beyondLimit);
    // The site's scripts may read it too (to know its pages): it is kept.
    if (!sitemap.locations.empty() && IsUnderSitePrefix(address, site.prefix)) {
      hooks.queue(address);
    }
    for (const std::string& location : sitemap.locations) {
      if (sitemap.isIndex) {
        if (sitemaps.size() < kMaxSitemaps) sitemaps.push_back(location);
        continue;
      }
      --left;
      const std::u16string page = StringUtility::FromUtf8(location);
      if (IsUnderSitePrefix(page, site.prefix) && hooks.queue(page)) ++counts.taken;
    }
    if (left == 0) break;
  }
  return counts;
}

}  // namespace kestrine
