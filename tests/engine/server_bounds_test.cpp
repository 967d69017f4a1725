// What a server sends can cost a run neither unbounded memory nor
// unbounded time: robots.txt of any size, bodies dripped for ever, pages of
// a million links.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/test_server.h"
#include "surfaces/memory_queue_list.h"

namespace kestrine {
namespace {

using namespace std::chrono_literals;
using testing::EngineHarness;
using testing::TempFolder;
using testing::TestServer;

std::u16string ReasonFor(EngineHarness& engine, const std::u16string& addressEnd) {
  for (const auto& row : engine.list.Rows()) {
    if (row[kAddressColumn].ends_with(addressEnd)) return row[kReasonColumn];
  }
  return u"(no row)";
}

void Mirror(EngineHarness& engine, const std::u16string& start, DownloadOptions options = {}) {
  engine.project->SetOptions(std::move(options));
  engine.Start(start, DownloadMode::DuplicateSite);
  engine.Wait();
}

// A site whose robots.txt is chosen by the test; its start page links one
// private and one open page.
class RobotsSite {
 public:
  RobotsSite() {
    server_.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<a href=\"private/p.html\">p</a><a href=\"open.html\">o</a>", "text/html");
    });
    server_.server().Get(R"(/(private/p|open)\.html)",
                         [](const httplib::Request&, httplib::Response& r) {
                           r.set_content("<p>page</p>", "text/html");
                         });
  }
  httplib::Server& server() { return server_.server(); }
  std::u16string Url(const std::string& path) { return server_.WideUrl(path); }

 private:
  TestServer server_;
};

TEST(ServerBounds, RobotsTxtIsReadAsFarAsItsBoundWhateverItsSize) {
  const std::string rules = "User-agent: *\nDisallow: /private/\n";
  for (bool endless : {false, true}) {
    RobotsSite site;
    site.server().Get("/robots.txt", [&](const httplib::Request&, httplib::Response& r) {
      if (!endless) {
        r.set_content(rules + std::string(10 * 1024 * 1024, '#'), "text/plain");
        return;
      }
      // A robots.txt that never ends: the run still does.
      r.set_chunked_content_provider(
          "text/plain", [&](std::size_t offset, httplib::DataSink& sink) {
            const std::string piece = offset == 0 ? rules : std::string(64 * 1024, '#');
            return sink.write(piece.data(), piece.size());
          });
    });
    EngineHarness engine;
    Mirror(engine, site.Url("/index.html"));
    EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 2) << endless;
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::Robots), 1) << endless;
  }
}

TEST(ServerBounds, AServerErrorOnRobotsTxtTakesNoneOfTheSitesPagesThatRun) {
  RobotsSite site;
  site.server().Get("/robots.txt",
                    [](const httplib::Request&, httplib::Response& r) { r.status = 503; });
  EngineHarness engine;
  Mirror(engine, site.Url("/index.html"));
  // The start page was asked for by the user; its links are left alone.
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 1);
  EXPECT_EQ(engine.project->admission()->Refused(Refusal::Robots), 2);
  engine.project->CloseDownloadLog();
  const std::string log =
      TempFolder::Read(NativePath(engine.project->siteFolder() + u"\\download.log"));
  EXPECT_NE(log.find("robots.txt answered HTTP 503"), std::string::npos) << log;
}

TEST(ServerBounds, ABodyDrippedForEverFailsAfterMaxTime) {
  std::atomic<bool> stop{false};  // outlives the server that reads it
  TestServer server;
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<a href=\"drip.bin\">d</a><a href=\"ok.txt\">o</a>", "text/html");
  });
  server.server().Get("/ok.txt", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("ok", "text/plain");
  });
  // 2 KB every half second, without a length: above the stall floor, and
  // never done.
  server.server().Get("/drip.bin", [&](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("application/octet-stream",
                                   [&](std::size_t, httplib::DataSink& sink) {
                                     std::this_thread::sleep_for(500ms);
                                     const std::string piece(2048, 'd');
                                     return !stop && sink.write(piece.data(), piece.size());
                                   });
  });
  DownloadOptions options;
  options.maxTime = 3;
  EngineHarness engine;
  const auto start = std::chrono::steady_clock::now();
  Mirror(engine, server.WideUrl("/index.html"), options);
  stop = true;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(ReasonFor(engine, u"/drip.bin"), u"took longer than 3 s");
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 2);
}

// A response of 2 KB every half second, without a length, for at most 30 s:
// above the stall floor, and long enough that a run waiting for it shows.
void Drip(httplib::Response& r, const char* type, std::string first) {
  auto sent = std::make_shared<int>(0);
  r.set_chunked_content_provider(type, [sent, first](std::size_t, httplib::DataSink& sink) {
    if (++*sent > 60) return false;
    if (*sent > 1) std::this_thread::sleep_for(500ms);
    const std::string piece = *sent == 1 ? first : std::string(2048, ' ');
    return sink.write(piece.data(), piece.size());
  });
}

TEST(ServerBounds, CancelAndMaxTimeReachRobotsTxtAndSitemaps) {
  for (const char* dripping : {"/robots.txt", "/sitemap.xml"}) {
    for (bool cancel : {true, false}) {
      RobotsSite site;
      site.server().Get(dripping, [](const httplib::Request& q, httplib::Response& r) {
        Drip(r, "text/plain", q.path == "/robots.txt" ? "User-agent: *\n" : "<urlset>");
      });
      EngineHarness engine;
      DownloadOptions options;
      if (!cancel) options.maxTime = 2;
      engine.project->SetOptions(options);
      const auto start = std::chrono::steady_clock::now();
      engine.Start(site.Url("/index.html"), DownloadMode::DuplicateSite);
      if (cancel) {
        std::this_thread::sleep_for(1s);
        engine.monitor.RequestCancel();
      }
      engine.Wait();
      // Before, the run waited out the drip: 30 s here, for ever on a site.
      EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << dripping << " " << cancel;
      EXPECT_EQ(engine.project->LastOutcome(), cancel ? RunOutcome::Canceled : RunOutcome::Finished)
          << dripping;
    }
  }
}

TEST(ServerBounds, OnlyAddressesASitemapGaveAreCountedAsItsOwn) {
  // No sitemap (404) and a start page of links found while it was looked for.
  RobotsSite site;
  EngineHarness engine;
  Mirror(engine, site.Url("/index.html"));
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 3);
  // Before, the addresses the start page gave meanwhile were counted too.
  EXPECT_EQ(engine.project->SitemapSummary(), "");
}

TEST(ServerBounds, APageOfCountlessLinksKeepsOnlyWhatTheFileLimitCanTake) {
  constexpr int kLinks = 20000;
  TestServer server;
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    std::string page;
    for (int i = 0; i < kLinks; ++i) page += "<a href=\"p" + std::to_string(i) + ".html\">x</a>";
    r.set_content(page, "text/html");
  });
  server.server().Get(R"(/p\d+\.html)", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<p>page</p>", "text/html");
  });
  DownloadOptions options;
  options.maxFiles = 5;
  EngineHarness engine(1);
  Mirror(engine, server.WideUrl("/index.html"), options);
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 5);
  EXPECT_LE(engine.list.RowCount(), 8u);
  // The rest were counted and written as their web addresses, not kept.
  EXPECT_GE(engine.project->admission()->Refused(Refusal::FileLimit), kLinks - 8);
  const std::string page =
      TempFolder::Read(NativePath(engine.project->siteFolder() + u"\\index.html"));
  EXPECT_NE(page.find("href=\"" + server.Url("/p19999.html") + "\""), std::string::npos);
}

}  // namespace
}  // namespace kestrine
