// Each stage of a download on its own, over a real server, a real folder
// and the run's real parts: what it leaves in the download's state and in
// the copy, and how it ends the download when it cannot go on.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/download/download_context.h"
#include "engine/download/stages/fetch_stage.h"
#include "engine/download/stages/place_stage.h"
#include "engine/download/stages/record_stage.h"
#include "engine/download/stages/render_stage.h"
#include "engine/download/stages/scan_stage.h"
#include "engine/download/stages/store_stage.h"
#include "engine/journal/download_log.h"
#include "engine/journal/project_journal.h"
#include "engine/queue/address_queue.h"
#include "engine/run/run_tally.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/fs/local_files.h"
#include "runtime/net/transfer_engine.h"
#include "runtime/string_utility.h"
#include "site/address/address.h"
#include "support/temp_folder.h"
#include "support/test_server.h"
#include "surfaces/memory_queue_list.h"
#include "surfaces/plain_status_monitor.h"

namespace kestrine {
namespace {

using testing::TempFolder;
using testing::TestServer;

// What the project is asked by a download: addresses found are queued as
// the project would queue them, and documents are kept to look at.
class QueueingHost : public IDownloadHost {
 public:
  explicit QueueingHost(AddressQueue& queue) : queue_(queue) {}
  FoundAddress AddFound(const std::u16string& address, int depth, int namerChain,
                        AddressSource) override {
    return queue_.AddFound(address, depth, namerChain);
  }
  bool MayQueueMore() override { return true; }
  void NoteMultiplexed() override {}
  void RecordDocument(std::int32_t number, DocumentRecords::Kind, const std::u16string& charset,
                      const WrittenReferences& written) override {
    std::lock_guard lock(mutex_);
    documents.push_back({number, charset, written.referenced});
  }
  const Validators* ValidatorsOf(std::int32_t) const override { return nullptr; }
  void NoteStored(std::int64_t bytes) override { stored += bytes; }
  int TransfersAtOnce() const override { return 1; }

  struct Document {
    std::int32_t number;
    std::u16string charset;
    std::vector<std::int32_t> referenced;
  };
  std::vector<Document> documents;
  std::int64_t stored = 0;

 private:
  AddressQueue& queue_;
  std::mutex mutex_;
};

class DownloadStages : public ::testing::Test {
 protected:
  DownloadStages() {
    site_.server().Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<a href=\"next.html\">n</a><img src=\"/i.png\">",
                      "text/html; charset=utf-8");
    });
    site_.server().Get("/latin.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<meta charset=\"iso-8859-1\"><p>caf\xe9</p><a href=\"next.html\">n</a>",
                      "text/html");
    });
    site_.server().Get("/gone.html", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("no", "text/plain");
    });
    site_.server().Get("/dir", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(site_.Url("/dir/"));
    });
    site_.server().Get("/dir/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<p>folder</p>", "text/html");
    });
    // As a front end starts a project: its start address, then its mode,
    // which names every entry's local file.
    queue_.AddAddress(site_.WideUrl("/page.html"), AddressQueue::NewProject::Yes);
    queue_.SetMode(DownloadMode::DuplicateSite);
    files_ = ConfinedFolder::Open(SiteFolderFor(queue_.siteHost(), folder_.Wide()),
                                  ConfinedFolder::Create::Yes);
    log_.Open(files_, true);
  }

  QueueEntry& Entry(const std::string& path) {
    const FoundAddress found = queue_.AddFound(site_.WideUrl(path), 0, 0);
    return *queue_.EntryByNumber(found.number >= 0 ? found.number
                                                   : *queue_.KnownNumberOf(site_.WideUrl(path)));
  }
  void Prepare(DownloadState& download) {
    download.target = FetchStage::TargetOf(download.entry, files_.path());
  }
  std::string Stored(const std::string& relative) {
    return TempFolder::Read(std::filesystem::path(NativePath(files_.path())) / relative);
  }
  int PartialFiles() {
    int partials = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder_.path())) {
      partials += item.path().filename().string().find(".part") != std::string::npos ? 1 : 0;
    }
    return partials;
  }

  TestServer site_;
  TempFolder folder_;
  ConfinedFolder files_;
  AddressQueue queue_;
  ProjectJournal journal_;
  DownloadLog log_;
  MemoryQueueList list_;
  PlainStatusMonitor monitor_;
  DownloadReport report_{list_, monitor_, log_};
  RunTally tally_;
  RunSettings settings_;
  TransferEngine transfers_;
  QueueingHost host_{queue_};
  DownloadContext context_{queue_,    files_,     journal_, report_, tally_,
                           settings_, transfers_, monitor_, host_};
};

TEST_F(DownloadStages, FetchReceivesIntoAHiddenPartialAndClassifiesTheAnswerOnce) {
  QueueEntry& entry = Entry("/page.html");
  DownloadState download(entry);
  Prepare(download);
  EXPECT_EQ(FetchStage(context_).Run(download), StageResult::Continue);
  EXPECT_EQ(download.kind, ContentKind::Page);
  // Received into a file without a name, or a hidden one where the file
  // system cannot make those.
  EXPECT_TRUE(download.target.partialFile.valid() || !download.target.partialName.empty());
  EXPECT_EQ(download.client.GetReturnCode(), 200);
  // Nothing is in place yet, and the row says it is under way.
  EXPECT_TRUE(Stored("page.html").empty());
  EXPECT_EQ(list_.CountState(TransferState::Transferring), 1);
}

TEST_F(DownloadStages, AFailedAnswerEndsTheDownloadWithAFailureRowAndNoFile) {
  QueueEntry& entry = Entry("/gone.html");
  DownloadState download(entry);
  Prepare(download);
  EXPECT_EQ(FetchStage(context_).Run(download), StageResult::End);
  EXPECT_EQ(download.outcome, DownloadOutcome::Failed);
  EXPECT_EQ(list_.CountState(TransferState::Failed), 1);
  EXPECT_EQ(tally_.failed.load(), 1);
  EXPECT_EQ(PartialFiles(), 0);
}

TEST_F(DownloadStages, PlaceGivesAFolderThatRedirectedToItsSlashFormItsDefaultDocument) {
  QueueEntry& entry = Entry("/dir");
  DownloadState download(entry);
  Prepare(download);
  ASSERT_EQ(FetchStage(context_).Run(download), StageResult::Continue);
  EXPECT_EQ(PlaceStage(context_).Run(download), StageResult::Continue);
  EXPECT_EQ(download.target.localFile, u"dir\\index.html");
}

TEST_F(DownloadStages, ScanRewritesAUtf8PageStraightIntoBytesAndQueuesWhatItLinks) {
  QueueEntry& entry = Entry("/page.html");
  DownloadState download(entry);
  Prepare(download);
  ASSERT_EQ(FetchStage(context_).Run(download), StageResult::Continue);
  const int known = queue_.KnownCount();
  EXPECT_EQ(ScanStage(context_).Run(download), StageResult::Continue);
  ASSERT_TRUE(download.rewritten.has_value());
  EXPECT_EQ(*download.rewritten, "<a href=\"next.html\">n</a><img src=\"i.png\">");
  ASSERT_TRUE(download.scanned.has_value());
  EXPECT_EQ(download.scanned->written.referenced.size(), 2u);
  EXPECT_EQ(queue_.KnownCount(), known + 2);
}

TEST_F(DownloadStages, ScanKeepsAPageInItsOwnCharset) {
  QueueEntry& entry = Entry("/latin.html");
  DownloadState download(entry);
  Prepare(download);
  ASSERT_EQ(FetchStage(context_).Run(download), StageResult::Continue);
  ASSERT_EQ(ScanStage(context_).Run(download), StageResult::Continue);
  ASSERT_TRUE(download.rewritten.has_value());
  EXPECT_NE(download.rewritten->find("caf\xe9"), std::string::npos);
}

TEST_F(DownloadStages, StoreMovesTheBytesInPlaceAndRecordSaysSoEverywhere) {
  QueueEntry& entry = Entry("/page.html");
  DownloadState download(entry);
  Prepare(download);
  ASSERT_EQ(FetchStage(context_).Run(download), StageResult::Continue);
  ASSERT_EQ(ScanStage(context_).Run(download), StageResult::Continue);
  EXPECT_EQ(StoreStage(context_).Run(download), StageResult::Continue);
  EXPECT_EQ(Stored("page.html"), "<a href=\"next.html\">n</a><img src=\"i.png\">");
  EXPECT_EQ(PartialFiles(), 0);
  EXPECT_EQ(RecordStage(context_).Run(download), StageResult::End);
  EXPECT_EQ(download.outcome, DownloadOutcome::Stored);
  EXPECT_EQ(entry.outcome, EntryOutcome::Stored);
  EXPECT_EQ(list_.CountState(TransferState::Succeeded), 1);
  EXPECT_EQ(tally_.succeeded.load(), 1);
  ASSERT_EQ(host_.documents.size(), 1u);
  EXPECT_EQ(host_.documents[0].number, entry.number);
}

}  // namespace
}  // namespace kestrine

namespace kestrine {
namespace {

// An application's shell is rendered; a page of prose is not, however many
// scripts it loads and however its text is spaced.
TEST(RenderStageRule, AShellIsScriptsWithLittleTextAndProseIsNever) {
  std::u16string prose;
  for (int i = 0; i < 60; ++i) prose += u"word ";
  const std::pair<std::u16string, bool> pages[] = {
      {u"<div id=root></div><script src=/app.js></script>", true},
      {u"<title>App</title><noscript>You need to enable JavaScript to run this app.</noscript>"
       u"<div id=app></div><script type=module src=/a.js></script>",
       true},
      {u"<p>" + prose + u"</p><script src=/search.js></script>", false},
      {u"<p>" + prose + u"</p>", false},
      {u"<div id=root></div>", false},
      // A loading spinner is still a shell; a manual's front page laid out
      // in markup, its tree folded by scripts, is not.
      {u"<noscript><div><p>Turn on <b>scripts</b></p><ul><li><a>a</a><li><a>b</a><li><a>c</a>"
       u"<li><a>d</a><li><a>e</a><li><a>f</a></ul></div></noscript><div id=root></div>"
       u"<script src=/app.js></script>",
       true},
      {u"<div id=app><svg><circle r=4 /><circle r=5 /></svg><div class=t></div></div>"
       u"<div id=err>An error has occurred. <a href=''>Reload</a><a>x</a></div>"
       u"<script src=/_framework/blazor.js></script>",
       true},
      {u"<script src=navtree.js></script><div id=top><table><tr><td><div>SDL</div></td></tr>"
       u"</table></div><div id=side-nav><div id=nav-tree><div id=c></div></div><div id=s></div>"
       u"</div><div id=doc><div class=h><div class=t><div>SDL Documentation</div></div></div>"
       u"<hr><address>Generated by <a href=x><img src=d.svg></a></address></div>",
       false},
      {u"<script>" + prose + prose + u"</script><style>" + prose + u"</style>", true},
  };
  for (const auto& [html, shell] : pages) {
    EXPECT_EQ(RenderStage::LooksLikeAppShell(html), shell) << StringUtility::ToUtf8(html);
  }
}

}  // namespace
}  // namespace kestrine
