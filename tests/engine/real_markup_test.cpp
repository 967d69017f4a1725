// End to end: sites written the ways pages are written today and were
// written before, copied whole and checked from disk.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "engine/mend/copy_verifier.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using testing::EngineHarness;
using testing::TempFolder;
using testing::TestServer;

// Files with their types; a folder's address without its "/" redirects to
// the "/" form, as web servers answer.
class MarkupSite {
 public:
  MarkupSite() {
    server_.server().Get(R"(/.*)", [this](const httplib::Request& q, httplib::Response& r) {
      std::lock_guard lock(mutex_);
      const auto found = files_.find(q.path);
      if (found != files_.end()) {
        r.set_content(found->second.first, found->second.second);
        return;
      }
      if (files_.count(q.path + "/") > 0) {
        r.set_redirect(q.path + "/", 301);
        return;
      }
      r.status = 404;
    });
  }
  void Set(const std::string& path, const std::string& body, const std::string& type) {
    std::lock_guard lock(mutex_);
    files_[path] = {body, type};
  }
  void Page(const std::string& path, const std::string& body) { Set(path, body, "text/html"); }
  std::u16string Url(const std::string& path) const { return server_.WideUrl(path); }
  std::string Folder() const { return "127.0.0.1-" + std::to_string(server_.port()); }

 private:
  std::mutex mutex_;
  std::map<std::string, std::pair<std::string, std::string>> files_;
  TestServer server_;
};

struct Copy {
  fs::path folder;
  std::vector<MemoryQueueList::Row> rows;
};

Copy CopyOf(EngineHarness& engine, const MarkupSite& site, const std::string& start,
            DownloadOptions options = {}) {
  engine.project->SetOptions(std::move(options));
  engine.Start(site.Url(start), DownloadMode::DuplicateSite);
  engine.Wait();
  return {engine.Out() / site.Folder(), engine.list.Rows()};
}

void ExpectWhole(const Copy& copy, int documents) {
  const auto report = CopyVerifier::Verify(StringUtility::FromUtf8(copy.folder.string()));
  EXPECT_EQ(report.documents, documents);
  for (const auto& dead : report.dead) ADD_FAILURE() << dead.document << ": " << dead.reference;
  for (const auto& row : copy.rows) {
    EXPECT_EQ(row[kProgressColumn], u"Finished") << StringUtility::ToUtf8(row[kAddressColumn]);
  }
}

TEST(RealMarkup, AnOlderSiteWrittenInUpperCaseIsCopiedWhole) {
  MarkupSite site;
  site.Page("/index.html",
            "<HTML><BODY BACKGROUND=\"img/paper.gif\"><A HREF=\"motion.html\">Motion</A>"
            "<A HREF=motion.html#part>again</A><IMG SRC=\"img/fig1.gif\" ALT=fig>"
            "<FRAMESET><FRAME SRC=\"toc.html\"></FRAMESET></BODY></HTML>");
  site.Page("/motion.html", "<HTML><A HREF=\"index.html\">Up</A><IMG SRC=img/fig2.gif></HTML>");
  site.Page("/toc.html", "<HTML><A HREF=\"motion.html\" TARGET=main>Motion</A></HTML>");
  for (const char* image : {"/img/paper.gif", "/img/fig1.gif", "/img/fig2.gif"}) {
    site.Set(image, "GIF89a", "image/gif");
  }
  EngineHarness engine;
  const Copy copy = CopyOf(engine, site, "/index.html");
  EXPECT_EQ(copy.rows.size(), 6u);
  EXPECT_TRUE(fs::exists(copy.folder / "img" / "fig2.gif"));
  ExpectWhole(copy, 3);
}

TEST(RealMarkup, AMinifiedSiteWithFolderAddressesKeepsTheSitesPaths) {
  MarkupSite site;
  site.Page("/",
            "<!doctype html><link rel=stylesheet href=/assets/css/styles.css /><a class=x "
            "href=/docs/intro>Intro</a><a href=/docs/guide/>Guide</a>"
            "<script type=module src=/assets/js/main.js></script>");
  site.Page("/docs/intro/",
            "<a href=../guide/>next</a><img src=pic.png><a href=..>up</a>"
            "<a href=.>here</a><a href=../..>top</a>");
  site.Page("/docs/guide/", "<a href=/docs/intro>back</a><a href=\"../intro/\">back</a>");
  site.Set("/docs/intro/pic.png", "png", "image/png");
  site.Page("/docs/", "<a href=intro>intro</a>");
  site.Set("/assets/css/styles.css", "@font-face{src:url(../fonts/a.woff2)}", "text/css");
  site.Set("/assets/fonts/a.woff2", "wOF2", "font/woff2");
  site.Set("/assets/js/main.js", "export {}", "text/javascript");
  EngineHarness engine;
  const Copy copy = CopyOf(engine, site, "/");
  // Each page once, where the site has it; no "intro.html", no "..html".
  EXPECT_TRUE(fs::exists(copy.folder / "docs" / "intro" / "index.html"));
  EXPECT_TRUE(fs::exists(copy.folder / "docs" / "intro" / "pic.png"));
  EXPECT_TRUE(fs::exists(copy.folder / "docs" / "guide" / "index.html"));
  EXPECT_TRUE(fs::exists(copy.folder / "docs" / "index.html"));
  EXPECT_TRUE(fs::exists(copy.folder / "assets" / "fonts" / "a.woff2"));
  EXPECT_FALSE(fs::exists(copy.folder / "docs" / "intro.html"));
  for (const auto& entry : fs::recursive_directory_iterator(copy.folder)) {
    const std::string name = entry.path().filename().string();
    EXPECT_FALSE(name.starts_with(".") || name.ends_with("..html") || name == "index-1.html")
        << entry.path();
  }
  // "/docs/intro/" may be asked for before "/docs/intro" shows it is the
  // same page: one more request then, never one more file.
  EXPECT_GE(copy.rows.size(), 8u);
  EXPECT_LE(copy.rows.size(), 9u);
  const std::string index = TempFolder::Read(copy.folder / "index.html");
  EXPECT_NE(index.find("href=docs/intro/index.html"), std::string::npos) << index;
  ExpectWhole(copy, 5);
}

TEST(RealMarkup, ABaseAndAnSvgImageAreFollowed) {
  MarkupSite site;
  site.Page("/page.html",
            "<head><base href=\"/b/\"></head><img src=\"logo.svg\">"
            "<a href=\"other.html\">o</a>");
  site.Page("/b/other.html", "<p>other</p>");
  site.Set("/b/logo.svg",
           "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
           "<style>.s{fill:url(grad.svg#g)}</style><image xlink:href=\"photo.jpg\"/></svg>",
           "image/svg+xml");
  site.Set("/b/grad.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "image/svg+xml");
  site.Set("/b/photo.jpg", "jpg", "image/jpeg");
  EngineHarness engine;
  const Copy copy = CopyOf(engine, site, "/page.html");
  EXPECT_EQ(copy.rows.size(), 5u);
  const std::string page = TempFolder::Read(copy.folder / "page.html");
  EXPECT_NE(page.find("<base href=\"\">"), std::string::npos) << page;
  EXPECT_NE(page.find("src=\"b/logo.svg\""), std::string::npos) << page;
  EXPECT_TRUE(fs::exists(copy.folder / "b" / "photo.jpg"));
  ExpectWhole(copy, 4);
}

TEST(RealMarkup, FilesAreNamedByTheirTypeAndLinksFollowTheNames) {
  MarkupSite site;
  site.Page("/index.html",
            "<a href=\"page.do\">p</a><link rel=\"stylesheet\" href=\"style.php\">"
            "<a href=\"report\">r</a><img src=\"chart.php?id=3\">"
            "<link rel=\"manifest\" href=\"site.webmanifest\">");
  site.Page("/page.do", "<a href=\"index.html\">home</a><a href=\"style.php\">s</a>");
  site.Set("/style.php", "body{color:red}", "text/css");
  site.Set("/report", "%PDF-1.4", "application/pdf");
  site.Set("/chart.php", "PNG", "image/png");
  site.Set("/site.webmanifest", "{}", "application/manifest+json");
  EngineHarness engine;
  const Copy copy = CopyOf(engine, site, "/index.html");
  for (const char* name :
       {"page.do.html", "style.css", "report", "chart.phpid3", "site.webmanifest"}) {
    EXPECT_TRUE(fs::exists(copy.folder / name)) << name;
  }
  for (const char* name : {"style.html", "report.html", "chart.phpid3.html", "page.do"}) {
    EXPECT_FALSE(fs::exists(copy.folder / name)) << name;
  }
  const std::string index = TempFolder::Read(copy.folder / "index.html");
  EXPECT_NE(index.find("href=\"style.css\""), std::string::npos) << index;
  EXPECT_NE(index.find("href=\"page.do.html\""), std::string::npos) << index;
  ExpectWhole(copy, 3);
}

TEST(RealMarkup, ASitemapBringsPagesNoLinkLeadsTo) {
  MarkupSite site;
  site.Set("/robots.txt",
           "User-agent: *\nDisallow:\nSitemap: " +
               StringUtility::ToUtf8(site.Url("/maps/index.xml")) + "\n",
           "text/plain");
  site.Set("/maps/index.xml",
           "<?xml version=\"1.0\"?><sitemapindex><sitemap><loc>" +
               StringUtility::ToUtf8(site.Url("/maps/pages.xml")) +
               "</loc></sitemap></sitemapindex>",
           "application/xml");
  site.Set("/maps/pages.xml",
           "<?xml version=\"1.0\"?><urlset><url><loc>" +
               StringUtility::ToUtf8(site.Url("/docs/hidden.html")) + "</loc></url><url><loc> " +
               StringUtility::ToUtf8(site.Url("/docs/a.html?x=1&amp;y=2")) +
               " </loc></url><url><loc>http://elsewhere.invalid/x.html</loc></url>"
               "<url><loc>" +
               StringUtility::ToUtf8(site.Url("/outside.html")) + "</loc></url></urlset>",
           "application/xml");
  site.Page("/docs/index.html", "<p>start</p>");
  site.Page("/docs/hidden.html", "<p>hidden</p>");
  site.Page("/docs/a.html", "<p>a</p>");
  site.Page("/outside.html", "<p>outside the start folder</p>");
  {
    EngineHarness engine;
    const Copy copy = CopyOf(engine, site, "/docs/index.html");
    EXPECT_TRUE(fs::exists(copy.folder / "docs" / "hidden.html"));
    EXPECT_EQ(copy.rows.size(), 3u);
    EXPECT_EQ(engine.project->SitemapSummary(), "took 2 addresses from the sitemap");
  }
  {
    EngineHarness engine;
    DownloadOptions options;
    options.sitemaps = false;
    const Copy copy = CopyOf(engine, site, "/docs/index.html", options);
    EXPECT_EQ(copy.rows.size(), 1u);
    EXPECT_EQ(engine.project->SitemapSummary(), "");
  }
}

}  // namespace
}  // namespace kestrine
