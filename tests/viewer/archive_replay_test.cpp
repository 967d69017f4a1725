// The viewer of a copy that has its web archive answers as the site did:
// the recorded bytes at the recorded path and query, so integrity digests
// and root-relative names hold; the site's own absolute addresses in pages
// and JSON lead to the viewer; and the copy's files answer the rest.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/test_server.h"
#include "viewer/copy_viewer.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using testing::EngineHarness;
using testing::TestServer;

const std::string kStyle = "body{background:url(/img/dot.png)}";

class ArchiveReplay : public ::testing::Test {
 protected:
  ArchiveReplay() {
    const std::string self = site_.Url("");
    pages_["/index.html"] = {
        "<!doctype html><link rel=stylesheet href=/css/site.css integrity=\"sha256-abc\" "
        "crossorigin=anonymous><a href=\"" +
            self + "/guide/\">guide</a><script>fetch(\"/search.json?v=1\")</script>",
        "text/html"};
    pages_["/css/site.css"] = {kStyle, "text/css"};
    pages_["/img/dot.png"] = {"PNG", "image/png"};
    pages_["/guide/index.html"] = {"<p>guide</p>", "text/html"};
    pages_["/search.json"] = {
        "{\"url\":\"" + self + "/guide/\",\"other\":\"" + self + "0/not-ours\"}",
        "application/json"};
    site_.server().Get(R"(/.*)", [this](const httplib::Request& q, httplib::Response& r) {
      const auto found = pages_.find(q.path == "/guide/" ? "/guide/index.html" : q.path);
      if (found == pages_.end()) {
        r.status = 404;
        return;
      }
      r.set_content(found->second.first, found->second.second);
    });
  }

  // Copies the site with its archive beside the site folder; the folder.
  std::u16string Copy() {
    engine_ = std::make_unique<EngineHarness>();
    EngineHarness& engine = *engine_;
    DownloadOptions options;
    options.wacz = true;
    options.robots = false;
    options.sitemaps = false;
    engine.project->SetOptions(options);
    engine.Start(site_.WideUrl("/index.html"), DownloadMode::DuplicateSite);
    engine.Wait();
    return engine.project->siteFolder();
  }

  TestServer site_;
  // Holds the download folder for as long as the test.
  std::unique_ptr<EngineHarness> engine_;
  std::map<std::string, std::pair<std::string, std::string>> pages_;
};

TEST_F(ArchiveReplay, TheViewerAnswersWhatTheSiteAnsweredAndTheCopyTheRest) {
  const std::u16string folder = Copy();
  // The copy on disk has the style sheet rewritten for reading from disk.
  const fs::path siteFolder = NativePath(folder);
  std::ifstream stored(siteFolder / "css" / "site.css");
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(stored), {}), kStyle);
  std::ofstream(siteFolder / "only-in-copy.txt") << "local";

  CopyViewer viewer(folder);
  EXPECT_GT(viewer.ArchivedAnswers(), 3u);
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  httplib::Client client("127.0.0.1", port);
  const std::string viewerOrigin = "http://127.0.0.1:" + std::to_string(port);

  // The style sheet as the site sent it, so its digest holds.
  auto sheet = client.Get("/css/site.css");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->status, 200);
  EXPECT_EQ(sheet->body, kStyle);
  EXPECT_EQ(sheet->get_header_value("Content-Type"), "text/css");
  // A part of the answer as recorded (its coding kept), as media players
  // ask for one.
  client.set_decompress(false);
  auto part = client.Get("/css/site.css", {{"Range", "bytes=5-14"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body.size(), 10u);
  EXPECT_EQ(part->get_header_value("Content-Range").substr(0, 11), "bytes 5-14/");
  client.set_decompress(true);
  // The page at its own path keeps its integrity check; its link to the
  // site's own origin leads to the viewer.
  auto page = client.Get("/index.html");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("integrity=\"sha256-abc\""), std::string::npos);
  EXPECT_NE(page->body.find("href=\"" + viewerOrigin + "/guide/\""), std::string::npos);
  // JSON at its path and query, its own absolute addresses turned to the
  // viewer, another origin's left alone; a query the site ignored finds
  // the same answer.
  for (const char* target : {"/search.json?v=1", "/search.json?v=2"}) {
    auto json = client.Get(target);
    ASSERT_TRUE(json) << target;
    EXPECT_EQ(json->status, 200) << target;
    EXPECT_EQ(json->body, "{\"url\":\"" + viewerOrigin + "/guide/\",\"other\":\"" + site_.Url("") +
                              "0/not-ours\"}")
        << target;
  }
  // What the archive does not hold comes from the copy; the engine's own
  // files stay out of reach.
  auto local = client.Get("/only-in-copy.txt");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->body, "local");
  auto journal = client.Get("/kestrine.journal");
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->status, 404);
  viewer.Stop();
}

TEST_F(ArchiveReplay, WithoutItsArchiveTheCopyIsServedAsStored) {
  const std::u16string folder = Copy();
  for (const auto& entry : fs::directory_iterator(fs::path(NativePath(folder)).parent_path())) {
    if (entry.path().filename().string().find(".warc") != std::string::npos) {
      fs::remove(entry.path());
    }
  }
  CopyViewer viewer(folder);
  EXPECT_EQ(viewer.ArchivedAnswers(), 0u);
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  httplib::Client client("127.0.0.1", port);
  auto sheet = client.Get("/css/site.css");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->status, 200);
  EXPECT_NE(sheet->body, kStyle);
  viewer.Stop();
}

}  // namespace
}  // namespace kestrine
