// What a site's sitemaps may add to a run, whatever they hold.
#include "engine/run/sitemap_loader.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "runtime/string_utility.h"
#include "site/rules/sitemap.h"
#include "support/gzip.h"

namespace kestrine {
namespace {

const std::u16string kFallback = u"https://site.example/sitemap.xml";
const SitemapLoader::Site kSite{u"site.example", u"https://site.example/"};

std::string Urlset(int from, int count) {
  std::string xml = "<?xml version=\"1.0\"?><urlset>";
  for (int i = from; i < from + count; ++i) {
    xml += "<url><loc>https://site.example/p" + std::to_string(i) + "</loc></url>";
  }
  return xml + "</urlset>";
}

// A site whose sitemaps are answered from memory; what the loader queued.
struct Sitemaps {
  std::map<std::string, std::string> bodies;
  std::set<std::u16string> queued;
  std::vector<std::string> fetched;
  bool stopped = false;

  SitemapLoader::Counts Load(std::vector<std::string> named = {}) {
    const SitemapLoader::Hooks hooks{
        [this](const std::u16string& address) -> std::optional<std::string> {
          fetched.push_back(StringUtility::ToUtf8(address));
          const auto found = bodies.find(fetched.back());
          if (found == bodies.end()) return std::nullopt;
          return found->second;
        },
        [this](const std::u16string& address) { return queued.insert(address).second; },
        [this] { return stopped; }};
    return SitemapLoader::Load(std::move(named), kFallback, kSite, hooks);
  }
};

TEST(SitemapLoader, EachSitemapAndAllOfThemTogetherAreBounded) {
  Sitemaps site;
  std::string index = "<sitemapindex>";
  for (int i = 0; i < 12; ++i) {
    const std::string name = "https://site.example/s" + std::to_string(i) + ".xml";
    index += "<sitemap><loc>" + name + "</loc></sitemap>";
    site.bodies[name] = Urlset(i * 60000, 60000);
  }
  site.bodies["https://site.example/sitemap.xml"] = index + "</sitemapindex>";
  const SitemapLoader::Counts counts = site.Load();
  // Before, every address of every sitemap was taken: 720,000 here.
  EXPECT_EQ(counts.taken, 500000);
  EXPECT_EQ(site.queued.size(), 500000u + 11u);  // and ten sitemaps and the index
  EXPECT_EQ(counts.beyondCap, 100000);
  EXPECT_EQ(site.fetched.size(), 11u);
}

// A sitemap's text is read once: an address of 4 MB of "&", each of whose
// ";" was looked for to the end, took minutes. References still decode.
TEST(SitemapLoader, EntitiesDecodeInTimeLinearInTheSitemap) {
  const Sitemap hostile =
      Sitemap::Read("<urlset><url><loc>" + std::string(4 << 20, '&') + "</loc></url></urlset>");
  ASSERT_EQ(hostile.locations.size(), 1u);
  EXPECT_EQ(hostile.locations[0].size(), 4u << 20);
  const Sitemap plain = Sitemap::Read(
      "<urlset><url><loc>https://site.example/a?b=1&amp;c=&#x32;&#51;&lt;&bogus;&amp</loc>"
      "</url></urlset>");
  EXPECT_EQ(plain.locations,
            (std::vector<std::string>{"https://site.example/a?b=1&c=23<&bogus;&amp"}));
}

TEST(SitemapLoader, CompressedSitemapsAreUnpackedWithinTheBombBound) {
  Sitemaps site;
  site.bodies["https://site.example/a.xml.gz"] = testing::Gzipped(Urlset(0, 3));
  // 40 MB of blanks in a few kilobytes: more than a hundred times its size.
  site.bodies["https://site.example/bomb.xml.gz"] =
      testing::Gzipped("<urlset>" + std::string(40 << 20, ' ') +
                       "<url><loc>https://site.example/bomb</loc></url></urlset>");
  const SitemapLoader::Counts counts =
      site.Load({"https://site.example/a.xml.gz", "https://site.example/bomb.xml.gz"});
  EXPECT_EQ(counts.taken, 3);
  EXPECT_EQ(site.queued.count(u"https://site.example/bomb"), 0u);
}

TEST(SitemapLoader, OnlyNewAddressesOfTheSiteCountAndAStopEndsTheReading) {
  Sitemaps site;
  site.bodies["https://site.example/sitemap.xml"] =
      "<urlset><url><loc>https://site.example/a</loc></url>"
      "<url><loc>https://site.example/a</loc></url>"
      "<url><loc>https://elsewhere.example/b</loc></url></urlset>";
  site.bodies["https://elsewhere.example/sitemap.xml"] = Urlset(0, 5);
  EXPECT_EQ(site.Load({"https://elsewhere.example/sitemap.xml"}).taken, 0);
  EXPECT_TRUE(site.fetched.empty());  // another host's sitemap is not read
  EXPECT_EQ(site.Load().taken, 1);
  site.stopped = true;
  site.fetched.clear();
  EXPECT_EQ(site.Load().taken, 0);
  EXPECT_TRUE(site.fetched.empty());
}

}  // namespace
}  // namespace kestrine
