// End to end: limits the user sets, politeness, and the trap rules that
// need no setting, against a server on 127.0.0.1 that builds traps.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <set>

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::EngineHarness;
using testing::TempFolder;
using testing::TestServer;
using Clock = std::chrono::steady_clock;

// Every path is a page: deeper chains, repeated folders, endless queries,
// and files of known sizes. It counts and remembers what it was asked.
class TrapSite {
 public:
  TrapSite() {
    server_.server().Get(
        R"(/files/(\d+)\.bin)", [this](const httplib::Request& q, httplib::Response& r) {
          Note(q);
          r.set_content(std::string(std::stoul(q.matches[1]), 'x'), "application/octet-stream");
        });
    server_.server().Get("/robots.txt", [this](const httplib::Request& q, httplib::Response& r) {
      Note(q);
      r.set_content(robots, "text/plain");
    });
    server_.server().Get(R"(/.*)", [this](const httplib::Request& q, httplib::Response& r) {
      Note(q);
      r.set_content(PageFor(q), "text/html");
    });
  }
  std::u16string Url(const std::string& path) { return server_.WideUrl(path); }
  std::string Folder() const { return "127.0.0.1-" + std::to_string(server_.port()); }
  int Requests() const { return requests_.load(); }
  std::vector<std::string> Paths() {
    std::lock_guard lock(mutex_);
    return paths_;
  }
  std::vector<httplib::Headers> Headers() {
    std::lock_guard lock(mutex_);
    return headers_;
  }
  std::vector<Clock::time_point> Times() {
    std::lock_guard lock(mutex_);
    return times_;
  }

  std::string robots;

 private:
  void Note(const httplib::Request& q) {
    ++requests_;
    std::lock_guard lock(mutex_);
    paths_.push_back(q.path + (q.params.empty() ? "" : "?q"));
    headers_.push_back(q.headers);
    times_.push_back(Clock::now());
  }
  static std::string PageFor(const httplib::Request& q) {
    const std::string& path = q.path;
    if (path.rfind("/deep/", 0) == 0) {
      // A new folder name at every step, so only the depth gives it away.
      const auto depth = std::count(path.begin(), path.end(), '/');
      return "<a href=\"d" + std::to_string(depth) + "/\">deeper</a>";
    }
    if (path.rfind("/loop/", 0) == 0) return "<a href=\"x/\">again</a>";
    if (path.rfind("/long/", 0) == 0) {
      const auto depth = std::count(path.begin(), path.end(), '/');
      return "<a href=\"" + std::string(200, static_cast<char>('a' + depth)) + "/\">longer</a>";
    }
    if (path == "/calendar.php") {
      const int month = q.has_param("m") ? std::stoi(q.get_param_value("m")) : 0;
      return "<a href=\"calendar.php?m=" + std::to_string(month + 1) + "\">next month</a>";
    }
    if (path == "/sizes.html") {
      return "<a href=\"files/1000.bin\">a</a> <a href=\"files/2000.bin\">b</a>"
             " <a href=\"files/3000.bin\">c</a> <a href=\"files/400000.bin\">big</a>"
             " <a href=\"files/5000.bin\">d</a> <a href=\"private/p.html\">p</a>"
             " <a href=\"open.html\">o</a> <a href=\"http://elsewhere.invalid/x.html\">x</a>"
             " <img src=\"http://elsewhere.invalid/i.png\">";
    }
    return "<p>page</p>";
  }

  std::atomic<int> requests_{0};
  std::mutex mutex_;
  std::vector<std::string> paths_;
  std::vector<httplib::Headers> headers_;
  std::vector<Clock::time_point> times_;
  TestServer server_;
};

std::string Log(EngineHarness& engine) {
  return TempFolder::Read(NativePath(engine.project->siteFolder() + u"\\download.log"));
}

void Mirror(EngineHarness& engine, const std::u16string& start, const DownloadOptions& options,
            DownloadMode mode = DownloadMode::DuplicateSite) {
  engine.project->SetOptions(options);
  engine.Start(start, mode);
  engine.Wait();
}

TEST(TrapRules, EachTrapEndsByItselfAndIsReportedOnce) {
  TrapSite site;
  site.robots = "";
  {
    EngineHarness engine;
    Mirror(engine, site.Url("/deep/"), {});
    // Every page down to 32 folders deep.
    EXPECT_EQ(engine.list.RowCount(), 32u);
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::TrapDepth), 1);
    const std::string log = Log(engine);
    EXPECT_NE(log.find("skipped 1 address that looked like a crawler trap (more than 32 folders "
                       "deep)\r\n"),
              std::string::npos);
  }
  {
    EngineHarness engine;
    Mirror(engine, site.Url("/loop/x/"), {});
    EXPECT_EQ(engine.list.RowCount(), 3u);  // x, x/x, x/x/x
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::TrapRepeats), 1);
  }
  {
    EngineHarness engine;
    Mirror(engine, site.Url("/long/"), {});
    EXPECT_LE(engine.list.RowCount(), 11u);
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::TrapLength), 1);
  }
  {
    EngineHarness engine(5);
    Mirror(engine, site.Url("/calendar.php"), {});
    EXPECT_EQ(engine.list.RowCount(), 1001u);
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::TrapQueries), 1);
    // The refused month is linked to the live web, not to a missing file.
    const std::string last =
        TempFolder::Read(engine.Out() / site.Folder() / "calendar.phpm1000.html");
    EXPECT_NE(last.find("href=\"http://127.0.0.1:"), std::string::npos) << last;
  }
}

TEST(Limits, LevelEndsAChainThatTrapRulesWouldNot) {
  TrapSite site;
  DownloadOptions options;
  options.trapRules = false;
  options.level = 5;
  EngineHarness engine;
  Mirror(engine, site.Url("/deep/"), options);
  EXPECT_EQ(engine.list.RowCount(), 6u);
  EXPECT_EQ(engine.project->admission()->Refused(Refusal::Level), 1);
}

// Every script names the next, for ever; the start page also shows an
// image robots.txt keeps robots away from.
class ChainSite {
 public:
  ChainSite() {
    server_.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<script src=\"c0.js\"></script><img src=\"private/x.png\">", "text/html");
    });
    server_.server().Get(R"(/c(\d+)\.js)", [this](const httplib::Request& q, httplib::Response& r) {
      ++requests_;
      r.set_content("import(\"./c" + std::to_string(std::stoi(q.matches[1]) + 1) + ".js\")",
                    "text/javascript");
    });
    server_.server().Get("/robots.txt", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("User-agent: *\nDisallow: /private/\n", "text/plain");
    });
    server_.server().Get("/private/x.png", [this](const httplib::Request&, httplib::Response& r) {
      ++privateAsked_;
      r.set_content("png", "image/png");
    });
  }
  std::u16string Url(const std::string& path) { return server_.WideUrl(path); }
  int Scripts() const { return requests_.load(); }
  int PrivateAsked() const { return privateAsked_.load(); }

 private:
  std::atomic<int> requests_{0};
  std::atomic<int> privateAsked_{0};
  TestServer server_;
};

TEST(Limits, LevelAndRulesHoldForFilesThatScriptsName) {
  // Before, such a chain ran past any level: 24,683 requests in 120 s.
  // Here the file limit would end it after 60.
  DownloadOptions options;
  options.maxFiles = 60;
  {
    ChainSite site;
    options.level = 2;
    EngineHarness engine;
    Mirror(engine, site.Url("/index.html"), options);
    // The start page's script (level 1) and what it names, two levels on.
    EXPECT_EQ(site.Scripts(), 4);
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::Level), 1);
    // robots.txt holds for a page's files too.
    EXPECT_EQ(site.PrivateAsked(), 0);
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::Robots), 1);
  }
  {
    ChainSite site;
    options.level = -1;
    EngineHarness engine;
    Mirror(engine, site.Url("/index.html"), options);
    // Without a level, the trap rule ends the chain and says so.
    EXPECT_EQ(site.Scripts(), AdmissionRules::kMaxChain);
    EXPECT_EQ(engine.project->admission()->Refused(Refusal::TrapChain), 1);
    const std::vector<std::string> lines = engine.project->AddressLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "skipped 1 address that looked like a crawler trap (more than 16 files "
                        "in a row, each named by the one before)"),
              lines.end());
  }
}

TEST(Limits, QuotaAndFileCountEndTheRunCleanly) {
  TrapSite site;
  {
    DownloadOptions options;
    options.maxFiles = 3;
    EngineHarness engine(1);
    Mirror(engine, site.Url("/sizes.html"), options);
    EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 3);
    EXPECT_EQ(engine.project->LimitReached(), "limit of 3 files reached");
    EXPECT_EQ(engine.monitor.StatusText(), u"Finished");
    const std::string log = Log(engine);
    EXPECT_NE(log.find("Stopped: limit of 3 files reached\r\n"), std::string::npos) << log;
    // Addresses beyond what the limit can take are not kept, only counted.
    EXPECT_NE(log.find("beyond the file limit\r\nEnd\r\n"), std::string::npos) << log;
    // What was not fetched is linked to the live web.
    const std::string page = TempFolder::Read(engine.Out() / site.Folder() / "sizes.html");
    EXPECT_NE(page.find("href=\"http://127.0.0.1:"), std::string::npos) << page;
  }
  {
    DownloadOptions options;
    options.quota = 3000;
    EngineHarness engine(1);
    Mirror(engine, site.Url("/sizes.html"), options);
    EXPECT_EQ(engine.project->LimitReached(), "quota of 2.9 KB reached");
    // The small pages come first; then 1000.bin and 2000.bin pass the
    // quota, and no file is taken after that.
    std::set<std::string> stored;
    for (const auto& row : engine.list.RowsIn(TransferState::Succeeded)) {
      const std::string address = StringUtility::ToUtf8(row[kAddressColumn]);
      stored.insert(address.substr(address.rfind('/') + 1));
    }
    EXPECT_EQ(stored,
              (std::set<std::string>{"sizes.html", "p.html", "open.html", "1000.bin", "2000.bin"}));
  }
}

TEST(Limits, MaxFileSizeFailsOnlyTheLargeFileWithItsReason) {
  TrapSite site;
  DownloadOptions options;
  options.maxFileSize = 100000;
  options.externalPages = false;
  EngineHarness engine;
  Mirror(engine, site.Url("/sizes.html"), options);
  int tooLarge = 0;
  for (const auto& row : engine.list.Rows()) {
    if (row[kAddressColumn].find(u"400000.bin") != std::u16string::npos) {
      EXPECT_EQ(row[kProgressColumn], u"Failure");
      EXPECT_EQ(row[kReasonColumn], u"larger than the file size limit of 100000 bytes");
      ++tooLarge;
    } else if (row[kAddressColumn].find(u"elsewhere") == std::u16string::npos) {
      EXPECT_EQ(row[kProgressColumn], u"Finished")
          << StringUtility::ToUtf8(row[kAddressColumn]) << ": "
          << StringUtility::ToUtf8(row[kReasonColumn]);
    }
  }
  EXPECT_EQ(tooLarge, 1);
  // The page outside the site was not asked for; the image outside was.
  EXPECT_EQ(engine.project->admission()->Refused(Refusal::ExternalPage), 1);
  // The end notice gives the reason and the refusal under "Finished".
  const std::u16string notice = engine.runState.Messages().back().text;
  EXPECT_EQ(notice.substr(0, 9), u"Finished\n");
  EXPECT_NE(notice.find(u"\n  larger than the file size limit of 100000 bytes (1)"),
            std::u16string::npos);
  EXPECT_NE(notice.find(u"\n1 address refused by the limits and rules"), std::u16string::npos);
}

TEST(Politeness, RobotsFiltersAndWhatIsSent) {
  TrapSite site;
  site.robots = "User-agent: *\nDisallow: /private/\n";
  TempFolder folder;
  const fs::path cookieFile = folder.path() / "cookies.txt";
  std::ofstream(cookieFile) << "127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc123\n";
  DownloadOptions options;
  options.reject = {"5000.bin", "4*"};
  options.userAgent = "TestAgent/1";
  options.headers = {"X-Trace: 42"};
  options.loadCookies = cookieFile.string();
  options.waitSeconds = 0.3;
  EngineHarness engine(1);
  Mirror(engine, site.Url("/sizes.html"), options);
  const auto paths = site.Paths();
  const std::set<std::string> asked(paths.begin(), paths.end());
  EXPECT_TRUE(asked.count("/robots.txt"));
  EXPECT_FALSE(asked.count("/private/p.html"));
  EXPECT_TRUE(asked.count("/open.html"));
  EXPECT_TRUE(asked.count("/files/1000.bin"));
  EXPECT_FALSE(asked.count("/files/5000.bin"));
  EXPECT_FALSE(asked.count("/files/400000.bin"));
  EXPECT_EQ(engine.project->admission()->Refused(Refusal::Robots), 1);
  const auto headers = site.Headers();
  for (const auto& sent : headers) {
    EXPECT_EQ(sent.find("User-Agent")->second, "TestAgent/1");
  }
  EXPECT_EQ(headers.back().find("X-Trace")->second, "42");
  EXPECT_NE(headers.back().find("Cookie")->second.find("session=abc123"), std::string::npos);
  // One worker waits between its requests (robots.txt and the sitemap come
  // before the run).
  std::vector<Clock::time_point> times;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (paths[i] != "/robots.txt" && paths[i] != "/sitemap.xml") times.push_back(site.Times()[i]);
  }
  ASSERT_GE(times.size(), 3u);
  for (std::size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], 250ms) << i;
  }
}

TEST(Politeness, RateLimitIsSharedOverTheWorkers) {
  TrapSite site;
  DownloadOptions options;
  options.limitRate = 200 * 1024;
  EngineHarness engine(2);
  engine.monitor.StartDownload(site.Url("/files/400000.bin"));
  engine.project->queue().AddAddress(site.Url("/files/400001.bin"));
  engine.project->SetOptions(options);
  const auto start = Clock::now();
  engine.monitor.ShowQueue(DownloadMode::RetrieveFiles);
  engine.Wait();
  // 800 KB at 200 KB/s in all takes about four seconds; it cannot take less
  // than three.
  EXPECT_GE(Clock::now() - start, 3s);
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 2);
}

TEST(Limits, AnOrdinarySiteLosesNothingUnderTheDefaults) {
  // 2,000 pages in nested folders, each with its image: every one arrives.
  TestServer server;
  server.server().Get("/s/start.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<a href=\"0/0/p0.html\">first</a>", "text/html");
  });
  server.server().Get(
      R"(/s/(\d+)/(\d+)/p(\d+)\.html)", [](const httplib::Request& q, httplib::Response& r) {
        const int n = std::stoi(q.matches[3]);
        std::string page = "<img src=\"i" + std::to_string(n) + ".png\">";
        for (int k : {2 * n + 1, 2 * n + 2}) {
          if (k < 2000) {
            page += " <a href=\"/s/" + std::to_string(k % 7) + "/" + std::to_string(k % 11) + "/p" +
                    std::to_string(k) + ".html\">p</a>";
          }
        }
        r.set_content(page, "text/html");
      });
  server.server().Get(R"(/s/\d+/\d+/i\d+\.png)", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("png", "image/png");
  });
  EngineHarness engine(5);
  engine.Start(server.WideUrl("/s/start.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 4001);
  EXPECT_EQ(engine.list.CountState(TransferState::Failed), 0);
}

}  // namespace
}  // namespace kestrine
