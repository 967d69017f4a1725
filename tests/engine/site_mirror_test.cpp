// End to end: a generated site served on 127.0.0.1, mirrored by the engine
// into a temporary folder in each mode.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <set>

#include "engine/mend/copy_verifier.h"
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
using testing::WaitFor;

const std::string kGbkPage =
    "<html><head><meta charset=\"gbk\"></head><body>\xD6\xD0\xCE\xC4 "
    "<a href=\"/sub/page.html\">\xD2\xB3</a></body></html>";

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// The site as files on disk, served from a mount point, plus a redirect.
class TestSite {
 public:
  TestSite() {
    const fs::path root = files_.path();
    WriteFile(root / "index.html",
              "<html><head><link href=\"css/site.css\" rel=\"stylesheet\">"
              "<meta http-equiv=\"refresh\" content=\"0; url=refresh.html\"></head>"
              "<body background=\"img/body.gif\"><a href=\"sub/page.html\">sub</a>"
              " <a href=\"missing.html\">gone</a> <a href=\"old.html\">moved</a>"
              " <a href=\"gbk.html\">gbk</a> <img src='img/logo.png'>"
              " <a href=\"#top\">top</a> <a href=\"javascript:void(0)\">js</a>"
              " <div style=\"background:url(img/div.png)\"></div>"
              "<table><td background=\"img/cell.gif\"></td></table></body></html>");
    WriteFile(root / "refresh.html", "<html>refreshed <a href=\"index.html\">home</a></html>");
    WriteFile(root / "css/site.css",
              "body{background:url(../img/css-bg.png)} .x{src:url(\"fonts/f.woff\")}");
    WriteFile(root / "css/fonts/f.woff", std::string("wOFF\0\1\2", 7));
    for (const char* image :
         {"img/body.gif", "img/logo.png", "img/div.png", "img/cell.gif", "img/css-bg.png"}) {
      WriteFile(root / image, std::string("\x89PNG\r\n\x1A\n", 8) + image);
    }
    WriteFile(root / "sub/page.html",
              "<html><a href=\"../index.html\">home</a> <img src=\"../img/logo.png\">"
              " <a href=\"deeper/d.html\">deeper</a></html>");
    WriteFile(root / "sub/deeper/d.html",
              "<html><link rel=stylesheet href=\"../../css/site.css\"></html>");
    WriteFile(root / "gbk.html", kGbkPage);
    server_.server().set_mount_point("/", root.string());
    server_.server().Get("/old.html", [](const httplib::Request&, httplib::Response& r) {
      r.set_redirect("/sub/page.html");
    });
  }
  std::u16string Url(const std::string& path) { return server_.WideUrl(path); }
  std::string UrlNarrow(const std::string& path) { return server_.Url(path); }
  std::string SiteFolderName() const { return "127.0.0.1-" + std::to_string(server_.port()); }
  const fs::path& root() const { return files_.path(); }

 private:
  TempFolder files_;
  TestServer server_;
};

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Every reference in a stored page or style sheet that points at a local
// copy must find an existing file, unless that download failed.
void ExpectReferencesResolve(const fs::path& siteFolder, const std::set<fs::path>& failed) {
  static const std::regex kReference(
      R"re((?: href=| src=|background=)"([^"]*)"|(?: href=| src=)'([^']*)'|url\(([^)]*)\)|content="0; url=([^"]*)")re");
  int checked = 0;
  for (const auto& entry : fs::recursive_directory_iterator(siteFolder)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".html" && ext != ".css") continue;
    const std::string text = TempFolder::Read(entry.path());
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kReference);
         it != std::sregex_iterator(); ++it) {
      std::string reference;
      for (int group = 1; group <= 4; ++group) {
        if ((*it)[group].matched) reference = (*it)[group].str();
      }
      if (reference.empty() || reference[0] == '#' || reference.find(':') != std::string::npos) {
        continue;
      }
      const fs::path target =
          (entry.path().parent_path() / PercentDecoded(reference)).lexically_normal();
      EXPECT_TRUE(fs::exists(target) || failed.count(target) > 0)
          << entry.path() << " refers to " << reference;
      ++checked;
    }
  }
  EXPECT_GT(checked, 10);
}

std::set<fs::path> FailedTargets(const MemoryQueueList& list) {
  std::set<fs::path> failed;
  for (const auto& row : list.RowsIn(TransferState::Failed)) {
    failed.insert(fs::path(StringUtility::ToUtf8(row[kTargetFileColumn])).lexically_normal());
  }
  return failed;
}

TEST(SiteMirror, DuplicateSiteMirrorsFoldersAndRewritesEveryReference) {
  TestSite site;
  EngineHarness engine;
  engine.Start(site.Url("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();

  const fs::path folder = engine.Out() / site.SiteFolderName();
  for (const char* file :
       {"index.html", "refresh.html", "old.html", "gbk.html", "css/site.css", "css/fonts/f.woff",
        "img/body.gif", "img/logo.png", "img/div.png", "img/cell.gif", "img/css-bg.png",
        "sub/page.html", "sub/deeper/d.html"}) {
    EXPECT_TRUE(fs::exists(folder / file)) << file;
  }
  // Binary files are stored as received.
  EXPECT_EQ(TempFolder::Read(folder / "img/logo.png"),
            TempFolder::Read(site.root() / "img/logo.png"));
  // The GBK page keeps its bytes apart from the rewritten reference.
  std::string expected = kGbkPage;
  expected.replace(expected.find("/sub/page.html"), 14, "sub/page.html");
  EXPECT_EQ(TempFolder::Read(folder / "gbk.html"), expected);
  // The 404 leaves a Failure row and no file.
  EXPECT_FALSE(fs::exists(folder / "missing.html"));
  bool sawFailure = false;
  for (const auto& row : engine.list.Rows()) {
    if (row[kAddressColumn] == site.Url("/missing.html")) {
      sawFailure =
          row[kProgressColumn] == u"Failure" &&
          row[kTargetFileColumn] ==
              DisplayPath(engine.home.folder().Wide("out") + u"\\" +
                          StringUtility::FromAscii(site.SiteFolderName()) + u"\\missing.html");
    }
  }
  EXPECT_TRUE(sawFailure);
  ExpectReferencesResolve(folder, FailedTargets(engine.list));
  // The skipped references stay as they were.
  const std::string index = TempFolder::Read(folder / "index.html");
  EXPECT_NE(index.find("href=\"#top\""), std::string::npos);
  EXPECT_NE(index.find("href=\"javascript:void(0)\""), std::string::npos);

  const std::string log = TempFolder::Read(folder / "download.log");
  EXPECT_NE(log.find((folder / "missing.html").string() + " download failed: HTTP 404\r\n"),
            std::string::npos);
  // The link to the page that could not be fetched leads to the live web.
  EXPECT_NE(index.find("href=\"" + site.UrlNarrow("/missing.html") + "\""), std::string::npos);
  EXPECT_NE(log.find((folder / "index.html").string() + " download successful.\r\n"),
            std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 5), "End\r\n");
  EXPECT_EQ(engine.monitor.StatusText(), u"Finished");
  EXPECT_TRUE(engine.monitor.IsDownloadViewEnabled());
  ASSERT_EQ(engine.runState.Messages().size(), 1u);
  EXPECT_EQ(engine.runState.Messages()[0].caption, u"Notice");
  EXPECT_EQ(engine.runState.OpenedFolders().size(), 1u);
  EXPECT_FALSE(engine.project->queue().HasPending());

  // A second download of the same site starts its log anew with "Begin".
  engine.Start(site.Url("/refresh.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  EXPECT_EQ(TempFolder::Read(folder / "download.log").substr(0, 7), "Begin\r\n");
}

// The check at the end of a run comes from what each document was written
// with; it must say what reading the whole copy says, in each mode, with
// failures, renames, redirects and files a limit left out (whose references
// mending sends to the web).
TEST(SiteMirror, TheEndOfRunCheckSaysWhatReadingTheCopySays) {
  TestSite site;
  for (const DownloadMode mode : {DownloadMode::DuplicateSite, DownloadMode::BrowsableCopy}) {
    for (const int maxFiles : {0, 6}) {
      EngineHarness engine;
      DownloadOptions options;
      options.maxFiles = maxFiles;
      engine.project->SetOptions(options);
      engine.Start(site.Url("/index.html"), mode);
      engine.Wait();
      const std::optional<CopyVerifier::Report> recorded = engine.project->LastCheck();
      ASSERT_TRUE(recorded) << static_cast<int>(mode) << " " << maxFiles;
      const CopyVerifier::Report read = CopyVerifier::Verify(engine.project->siteFolder());
      EXPECT_EQ(recorded->Summary(), read.Summary()) << static_cast<int>(mode) << " " << maxFiles;
      EXPECT_GT(read.resolved, 0);
      EXPECT_GT(read.live, 0);
    }
  }
}

TEST(SiteMirror, BrowsableCopyPutsNumberedFilesInOneFolder) {
  TestSite site;
  EngineHarness engine;
  engine.Start(site.Url("/index.html"), DownloadMode::BrowsableCopy);
  engine.Wait();
  const fs::path folder = engine.Out() / site.SiteFolderName();
  EXPECT_TRUE(fs::exists(folder / "1.index.html"));
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    ++files;
  }
  EXPECT_GE(files, 12);
  const std::string index = TempFolder::Read(folder / "1.index.html");
  EXPECT_NE(index.find("src='"), std::string::npos);
  EXPECT_EQ(index.find("src='img/"), std::string::npos);
  ExpectReferencesResolve(folder, FailedTargets(engine.list));
  // Rows stand in number order with their serial numbers.
  const auto rows = engine.list.Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][kNumberColumn], StringUtility::FromAscii(std::to_string(i + 1)));
  }
}

TEST(SiteMirror, RetrieveFilesStoresTheGivenAddressesUnscanned) {
  TestSite site;
  EngineHarness engine;
  engine.monitor.StartDownload(site.Url("/index.html"));
  engine.project->queue().AddAddress(site.Url("/css/site.css"));
  engine.project->queue().AddAddress(site.Url("/img/logo.png"));
  engine.monitor.ShowQueue(DownloadMode::RetrieveFiles);
  engine.Wait();
  const fs::path folder = engine.Out() / site.SiteFolderName();
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"index.html", "site.css", "logo.png", "download.log",
                                          "kestrine.journal"}));
  EXPECT_EQ(TempFolder::Read(folder / "index.html"), TempFolder::Read(site.root() / "index.html"));
  EXPECT_EQ(TempFolder::Read(folder / "site.css"), TempFolder::Read(site.root() / "css/site.css"));
}

// A site of slow files, to pause and cancel while downloads run.
class SlowSite {
 public:
  explicit SlowSite(int files) {
    std::string index = "<html>";
    for (int i = 0; i < files; ++i) index += " <a href=\"f" + std::to_string(i) + ".bin\">f</a>";
    index += "</html>";
    server_.server().Get("/index.html", [index](const httplib::Request&, httplib::Response& r) {
      r.set_content(index, "text/html");
    });
    server_.server().Get(R"(/f(\d+)\.bin)",
                         [this](const httplib::Request& q, httplib::Response& r) {
                           {
                             std::lock_guard lock(mutex_);
                             ++hits_[q.path];
                           }
                           std::this_thread::sleep_for(300ms);
                           r.set_content(std::string(1024, 'x'), "application/octet-stream");
                         });
  }
  std::u16string Url(const std::string& path) { return server_.WideUrl(path); }
  std::map<std::string, int> Hits() {
    std::lock_guard lock(mutex_);
    return hits_;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, int> hits_;
  TestServer server_;
};

TEST(SiteMirror, PauseThenContinueFetchesOnlyWhatWasPending) {
  // One worker and many slow files: while it is busy the others wait on the
  // pool, and a pause must not let any of them take an entry.
  SlowSite site(30);
  EngineHarness engine(1);
  engine.Start(site.Url("/index.html"), DownloadMode::DuplicateSite);
  std::size_t rowsAtPause = 0;
  for (int finished : {2, 9, 17}) {
    ASSERT_TRUE(
        WaitFor([&] { return engine.list.CountState(TransferState::Succeeded) >= finished; }));
    engine.monitor.RequestPause();
    engine.Wait();
    EXPECT_EQ(engine.monitor.StatusText(), u"Paused");
    EXPECT_EQ(engine.runState.Phase(), ButtonPhase::Paused);
    EXPECT_FALSE(engine.monitor.IsDownloadViewEnabled());
    EXPECT_EQ(engine.list.CountState(TransferState::Failed), 0);
    ASSERT_TRUE(engine.project->queue().HasPending());
    EXPECT_EQ(engine.runState.Messages().back().text.substr(0, 7), u"Paused\n");
    EXPECT_GE(engine.list.RowCount(), rowsAtPause);
    rowsAtPause = engine.list.RowCount();
    engine.project->ContinueProject();
  }
  engine.Wait();
  EXPECT_EQ(engine.monitor.StatusText(), u"Finished");
  // Every address ends "Finished" exactly once, in one row of its own.
  const auto rows = engine.list.Rows();
  ASSERT_EQ(rows.size(), 31u);
  std::set<std::u16string> addresses;
  for (const auto& row : rows) {
    addresses.insert(row[kAddressColumn]);
    EXPECT_EQ(row[kProgressColumn], u"Finished") << StringUtility::ToUtf8(row[kAddressColumn]);
    EXPECT_TRUE(fs::exists(StringUtility::ToUtf8(row[kTargetFileColumn])));
  }
  EXPECT_EQ(addresses.size(), 31u);
  // A transfer cut by a pause is fetched again, and nothing more than that.
  for (const auto& [path, hits] : site.Hits()) EXPECT_LE(hits, 2) << path;
  const std::string log =
      TempFolder::Read(NativePath(engine.project->siteFolder() + u"\\download.log"));
  EXPECT_EQ(log.find("failed"), std::string::npos);
  EXPECT_NE(log.find("Paused\r\n"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 5), "End\r\n");
}

TEST(SiteMirror, SettingsChangedDuringARunDoNotReachItsWorkers) {
  // The settings dialog writes the settings while workers run; they read
  // the run's own time-out, taken when it started (ThreadSanitizer watches
  // this one), and a new worker count applies at once through the pool.
  SlowSite site(8);
  EngineHarness engine(2);
  BasicSetting& record = SettingUtil::GetInstance().record();
  record.timeOut = 10;
  engine.Start(site.Url("/index.html"), DownloadMode::DuplicateSite);
  for (int i = 0; i < 300 && engine.list.CountState(TransferState::Succeeded) < 9; ++i) {
    record.timeOut = 11 + i % 20;
    record.threadNumber = 1 + i % 5;
    engine.project->SetWorkers(record.threadNumber);
    std::this_thread::sleep_for(10ms);
  }
  engine.Wait();
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 9);
  EXPECT_EQ(engine.project->timeOutSeconds(), 10);
}

TEST(SiteMirror, CancelEndsCanceledWithEmptyLists) {
  SlowSite site(12);
  EngineHarness engine(2);
  engine.Start(site.Url("/index.html"), DownloadMode::DuplicateSite);
  ASSERT_TRUE(WaitFor([&] { return engine.list.CountState(TransferState::Succeeded) >= 2; }));
  engine.monitor.RequestCancel();
  engine.Wait();
  EXPECT_EQ(engine.monitor.StatusText(), u"Canceled");
  EXPECT_TRUE(engine.runState.Messages().empty());
  EXPECT_EQ(engine.runState.OpenedFolders().size(), 1u);
  EXPECT_TRUE(engine.monitor.IsDownloadViewEnabled());
  EXPECT_EQ(engine.project->queue().PendingCount(), 0u);
  EXPECT_EQ(engine.project->queue().TakenCount(), 0u);
  EXPECT_LT(engine.list.RowCount(), 13u);
  // Continue has nothing to do now.
  engine.project->ContinueProject();
  engine.Wait();
  EXPECT_EQ(engine.monitor.StatusText(), u"Canceled");
}

TEST(SiteMirror, PagesThatCannotBeWrittenBackKeepTheirBytes) {
  // A page in UTF-16 decodes fine but cannot be encoded back; the received
  // bytes must stay rather than the page being wiped.
  const std::string utf16("\xFF\xFE<\0p\0>\0h\0i\0", 12);
  TestServer server;
  server.server().Get("/wide.html", [&utf16](const httplib::Request&, httplib::Response& r) {
    r.set_content(utf16, "text/html");
  });
  EngineHarness engine;
  engine.Start(server.WideUrl("/wide.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const fs::path file = engine.Out() / ("127.0.0.1-" + std::to_string(server.port())) / "wide.html";
  EXPECT_EQ(TempFolder::Read(file), utf16);
}

TEST(SiteMirror, AFileThatCannotBeOpenedEndsAsAFailureWithALogLine) {
  TestServer server;
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<a href=\"blocked.bin\">b</a>", "text/html");
  });
  server.server().Get("/blocked.bin", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("data", "application/octet-stream");
  });
  EngineHarness engine;
  const fs::path site = engine.Out() / ("127.0.0.1-" + std::to_string(server.port()));
  fs::create_directories(site / "blocked.bin");  // a folder where the file should go
  engine.Start(server.WideUrl("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const auto rows = engine.list.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][kProgressColumn], u"Failure");
  EXPECT_EQ(rows[1][kTargetFileColumn], StringUtility::FromUtf8((site / "blocked.bin").string()));
  EXPECT_NE(rows[1][kReasonColumn].find(u"cannot store the file"), std::u16string::npos);
  const std::string log = TempFolder::Read(site / "download.log");
  EXPECT_NE(log.find((site / "blocked.bin").string() + " download failed: cannot store the file"),
            std::string::npos);
  EXPECT_EQ(engine.monitor.StatusText(), u"Finished");
}

TEST(SiteMirror, RunWithNothingPendingFinishesAtOnce) {
  EngineHarness engine;
  engine.project->StartProject();
  engine.Wait();
  EXPECT_EQ(engine.monitor.StatusText(), u"Finished");
  EXPECT_TRUE(engine.runState.Messages().empty());
  EXPECT_TRUE(engine.runState.OpenedFolders().empty());
}

}  // namespace
}  // namespace kestrine
