#include "engine/download/download_report.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "engine/journal/download_log.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"

namespace kestrine {
namespace {

using testing::EngineHarness;

class QueueRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.list.InsertRow(0, u"http://127.0.0.1:8080/index.html");
    siteFolder = engine.Out() / "127.0.0.1-8080";
    log.Open(ConfinedFolder::Open(StringUtility::FromUtf8(siteFolder.string()),
                                  ConfinedFolder::Create::Yes),
             true);
  }
  MemoryQueueList::Row Row() { return engine.list.Rows().at(0); }
  // Lines go to the file in batches; closing the log writes them all.
  std::string Log() {
    log.Close();
    return testing::TempFolder::Read(siteFolder / "download.log");
  }
  void Update(int task, std::int64_t received, std::int64_t total, double seconds) {
    report.Progress({task, TransferState::Transferring, received, total, seconds});
  }
  void End(int task, TransferState state, const std::u16string& path) {
    report.Ended({task, state, 10, 10, 1.0}, path);
  }

  EngineHarness engine;
  std::filesystem::path siteFolder;
  DownloadLog log;
  DownloadReport report{engine.list, engine.monitor, log};
};

TEST_F(QueueRowTest, TransferringCellsAndLargeFilePercentage) {
  Update(1, 0, 2048, 0.0);
  EXPECT_EQ(Row()[kSizeColumn], u"0.00KB");
  EXPECT_EQ(Row()[kSpeedColumn], u"0KB/s");
  EXPECT_EQ(Row()[kProgressColumn], u"0%");
  EXPECT_EQ(Row()[kTimeColumn], u"0.00 s");
  EXPECT_EQ(Row()[kNumberColumn], u"1");
  const std::int64_t total = 30ll * 1024 * 1024;
  Update(1, total / 2, total, 2.0);
  EXPECT_EQ(Row()[kProgressColumn], u"50%");
  EXPECT_EQ(Row()[kSpeedColumn], u"7680.00KB/s");
  Update(1, 5ll << 30, 6ll << 30, 1.0);
  EXPECT_EQ(Row()[kProgressColumn], u"83%");
  Update(1, 100, 0, 1.0);
  EXPECT_EQ(Row()[kProgressColumn], u"0%");
}

TEST_F(QueueRowTest, EndStatesFillTargetAndLogInTheSiteFolderOfAHostWithAPort) {
  const std::u16string path = engine.home.folder().Wide("out") + u"\\127.0.0.1-8080\\a.html";
  End(1, TransferState::Failed, path);
  EXPECT_EQ(Row()[kProgressColumn], u"Failure");
  EXPECT_EQ(Row()[kTargetFileColumn], DisplayPath(path));
  EXPECT_EQ(Row()[kSizeColumn], u"0.01KB");
  End(1, TransferState::Succeeded, path);
  EXPECT_EQ(Row()[kProgressColumn], u"Finished");
  const std::string shown = NativePath(path);
  EXPECT_EQ(Log(), shown + " download failed.\r\n" + shown + " download successful.\r\n");
  // A row that does not exist is left alone.
  End(9, TransferState::Succeeded, path);
  EXPECT_EQ(engine.list.RowCount(), 1u);
}

TEST_F(QueueRowTest, ConcurrentLogLinesAreAllKept) {
  // Every line arrives whole and none is lost, however long the lines and
  // however many threads write them.
  constexpr std::size_t kLength = 20003;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 20; ++i) {
        report.Log(std::u16string(kLength, u'a' + t));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream written(Log());
  int lines = 0;
  for (std::string line; std::getline(written, line); ++lines) {
    ASSERT_EQ(line.size(), kLength + 1) << "line " << lines;
    EXPECT_EQ(line.find_first_not_of(line[0]), kLength) << "line " << lines;
  }
  EXPECT_EQ(lines, 160);
}

TEST_F(QueueRowTest, ProgressUpdatesStatusEveryFifthCallAndStopsOnRequests) {
  DownloadProgress status(report, engine.monitor, u"http://127.0.0.1:8080/index.html", 1,
                          std::chrono::steady_clock::now());
  engine.monitor.SetStatusText(u"before");
  for (int i = 1; i <= 4; ++i) status.OnProgress(4096, 1024 * i);
  EXPECT_EQ(engine.monitor.StatusText(), u"before");
  status.OnProgress(4096, 2048);
  EXPECT_EQ(engine.monitor.StatusText(),
            u"Downloading [1][2.00KB][http://127.0.0.1:8080/index.html]");
  EXPECT_EQ(Row()[kProgressColumn], u"50%");
  EXPECT_EQ(status.ShouldStop(), 0);
  engine.monitor.RequestPause();
  EXPECT_EQ(status.ShouldStop(), 1);
  engine.monitor.ClearRequests();
  engine.monitor.RequestCancel();
  EXPECT_EQ(status.ShouldStop(), 1);
}

}  // namespace
}  // namespace kestrine
