// End to end: what today's sites do to a copy, served on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>

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

std::string SiteFolder(const TestServer& server) {
  return "127.0.0.1-" + std::to_string(server.port());
}

TEST(RealWeb, TwoAddressesWithOneNameNeverShareAFile) {
  // Two large files with the same name, fetched at the same time: each must
  // end up whole, in a file of its own.
  const std::string big(6 * 1024 * 1024, 'A');
  const std::string small(3 * 1024 * 1024, 'B');
  TestServer server;
  server.server().Get("/a/logo.png", [&](const httplib::Request&, httplib::Response& r) {
    r.set_content(big, "image/png");
  });
  server.server().Get("/b/logo.png", [&](const httplib::Request&, httplib::Response& r) {
    r.set_content(small, "image/png");
  });
  server.server().Get("/c/logo.png",
                      [](const httplib::Request&, httplib::Response& r) { r.status = 404; });
  EngineHarness engine(5);
  engine.monitor.StartDownload(server.WideUrl("/a/logo.png"));
  engine.project->queue().AddAddress(server.WideUrl("/b/logo.png"));
  engine.project->queue().AddAddress(server.WideUrl("/c/logo.png"));
  engine.monitor.ShowQueue(DownloadMode::RetrieveFiles);
  engine.Wait();
  const fs::path folder = engine.Out() / SiteFolder(server);
  EXPECT_EQ(TempFolder::Read(folder / "logo.png"), big);
  EXPECT_EQ(TempFolder::Read(folder / "logo-1.png"), small);
  // The failed third one neither left a file nor touched the others.
  EXPECT_FALSE(fs::exists(folder / "logo-2.png"));
  for (const auto& entry : fs::directory_iterator(folder)) {
    EXPECT_EQ(entry.path().filename().string().find("~kestrine"), std::string::npos);
  }
}

TEST(RealWeb, TheSitesOwnDownloadLogIsStoredBesideTheEnginesLog) {
  TestServer server;
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(
        "<a href=\"download.log\">log</a> <a href=\"/\">home</a>"
        " <a href=\"x.php\">php</a> <a href=\"x.html\">html</a>",
        "text/html");
  });
  server.server().Get("/download.log", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("the site's own log\n", "text/plain");
  });
  std::atomic<int> rootHits{0};
  server.server().Get("/", [&](const httplib::Request&, httplib::Response& r) {
    ++rootHits;
    r.set_content("<p>root</p>", "text/html");
  });
  server.server().Get("/x.php", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<p>php</p>", "text/html");
  });
  server.server().Get("/x.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<p>html</p>", "text/html");
  });
  EngineHarness engine;
  engine.Start(server.WideUrl("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const fs::path folder = engine.Out() / SiteFolder(server);
  EXPECT_EQ(TempFolder::Read(folder / "download-1.log"), "the site's own log\n");
  const std::string log = TempFolder::Read(folder / "download.log");
  EXPECT_NE(log.find("download-1.log download successful.\r\n"), std::string::npos);
  EXPECT_EQ(log.find("the site's own log"), std::string::npos);
  const std::string index = TempFolder::Read(folder / "index.html");
  EXPECT_NE(index.find("href=\"download-1.log\""), std::string::npos);
  // "/" is the folder of "/index.html": one page, fetched once, one file.
  EXPECT_EQ(rootHits.load(), 0);
  EXPECT_NE(index.find("href=\"index.html\""), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "index-1.html"));
  // x.php and x.html are two pages whose names would be one; each keeps its own.
  EXPECT_NE(index.find("href=\"x.html\""), std::string::npos);
  EXPECT_NE(index.find("href=\"x-1.html\""), std::string::npos);
  EXPECT_EQ(TempFolder::Read(folder / "x.html"), "<p>php</p>");
  EXPECT_EQ(TempFolder::Read(folder / "x-1.html"), "<p>html</p>");
}

TEST(RealWeb, FragmentsSchemesSrcsetAndImportsOfAModernPage) {
  TestServer server;
  std::atomic<int> pageHits{0};
  server.server().Get("/doc/os.html", [&](const httplib::Request&, httplib::Response& r) {
    ++pageHits;
    r.set_content(
        "<html><head><link href=\"theme.css?2022.1\" rel=\"stylesheet\">"
        "<style>@import 'extra.css';</style></head><body>"
        "<a href=\"os.html#os.stat\">stat</a> <a href=\"#top\">top</a>"
        " <a href=\"mailto:me@example.org\">mail</a> <a href=\"https://other.example/x\">x</a>"
        " <img src=\"a.png\" srcset=\"a.png 1x, b.png 2x\"> <video poster=\"p.png\"></video>"
        " <a href=\"gone.html#part\">gone</a></body></html>",
        "text/html");
  });
  server.server().Get("/doc/theme.css", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(
        "@import \"base.css\"; a{background:url(data:image/png;base64,AAAA)}"
        " b{mask:url(#clip)} c{background:url( 'c.png' )}",
        "text/css");
  });
  for (const char* file : {"/doc/extra.css", "/doc/base.css"}) {
    server.server().Get(file, [](const httplib::Request&, httplib::Response& r) {
      r.set_content("p{}", "text/css");
    });
  }
  for (const char* file : {"/doc/a.png", "/doc/b.png", "/doc/p.png", "/doc/c.png"}) {
    server.server().Get(file, [](const httplib::Request&, httplib::Response& r) {
      r.set_content("png", "image/png");
    });
  }
  EngineHarness engine;
  engine.Start(server.WideUrl("/doc/os.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const fs::path folder = engine.Out() / SiteFolder(server) / "doc";
  EXPECT_EQ(pageHits.load(), 1);
  const std::string page = TempFolder::Read(folder / "os.html");
  EXPECT_NE(page.find("href=\"os.html#os.stat\""), std::string::npos);
  EXPECT_NE(page.find("href=\"#top\""), std::string::npos);
  EXPECT_NE(page.find("href=\"mailto:me@example.org\""), std::string::npos);
  EXPECT_NE(page.find("srcset=\"a.png 1x, b.png 2x\""), std::string::npos);
  EXPECT_NE(page.find("href=\"theme-2022.1.css\""), std::string::npos);
  EXPECT_NE(page.find("@import 'extra.css'"), std::string::npos);
  // Neither the external host (no network here) nor the missing page was
  // stored, so both links lead to the web, the fragment kept.
  EXPECT_NE(page.find("href=\"https://other.example/x\""), std::string::npos);
  EXPECT_NE(page.find("href=\"" + server.Url("/doc/gone.html") + "#part\""), std::string::npos);
  for (const char* file :
       {"theme-2022.1.css", "extra.css", "base.css", "a.png", "b.png", "p.png", "c.png"}) {
    EXPECT_TRUE(fs::exists(folder / file)) << file;
  }
  EXPECT_FALSE(fs::exists(engine.Out() / SiteFolder(server) / "https-"));
  const std::string sheet = TempFolder::Read(folder / "theme-2022.1.css");
  EXPECT_NE(sheet.find("url(data:image/png;base64,AAAA)"), std::string::npos);
  EXPECT_NE(sheet.find("url(#clip)"), std::string::npos);
  EXPECT_NE(sheet.find("url(c.png)"), std::string::npos);
  for (const auto& row : engine.list.Rows()) {
    const std::string address = StringUtility::ToUtf8(row[kAddressColumn]);
    EXPECT_EQ(address.find('#'), std::string::npos) << address;
    EXPECT_EQ(address.find("mailto"), std::string::npos) << address;
  }
}

TEST(RealWeb, PagesAndTheirTargetsAgreeOnNamesTooLongForTheFileSystem) {
  const std::string longFolder(300, 'd');
  const std::string longName(400, 'x');
  const std::string target = "/" + longFolder + "/" + longName + ".png";
  TestServer server;
  server.server().Get("/index.html", [&](const httplib::Request&, httplib::Response& r) {
    r.set_content("<img src=\"" + target + "\">", "text/html");
  });
  server.server().Get(target, [](const httplib::Request&, httplib::Response& r) {
    r.set_content("png", "image/png");
  });
  for (DownloadMode mode : {DownloadMode::DuplicateSite, DownloadMode::BrowsableCopy}) {
    EngineHarness engine;
    engine.Start(server.WideUrl("/index.html"), mode);
    engine.Wait();
    const fs::path folder = engine.Out() / SiteFolder(server);
    const std::string index = TempFolder::Read(
        folder / (mode == DownloadMode::BrowsableCopy ? "1.index.html" : "index.html"));
    const std::size_t start = index.find("src=\"") + 5;
    const std::string written = index.substr(start, index.find('"', start) - start);
    EXPECT_EQ(TempFolder::Read(folder / written), "png") << written;
    for (const auto& part : fs::path(written)) EXPECT_LE(part.string().size(), 255u);
  }
}

}  // namespace
}  // namespace kestrine
