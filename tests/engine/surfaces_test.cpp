#include <gtest/gtest.h>

#include <thread>

#include "presentation/string_table.h"
#include "surfaces/memory_queue_list.h"
#include "surfaces/plain_status_monitor.h"

namespace kestrine {
namespace {

TEST(MemoryQueueList, RowsStandInKeyOrderWhateverTheOrderOfInsertion) {
  MemoryQueueList list;
  list.SetCellText(0, kSizeColumn, u"lost");
  EXPECT_EQ(list.RowCount(), 0u);
  list.InsertRow(5, u"http://h/5");
  list.InsertRow(2, u"http://h/2");
  list.InsertRow(0, u"http://h/0");
  list.SetCellText(5, kProgressColumn, u"50%");
  list.SetCellText(1, kProgressColumn, u"lost");
  list.SetCellText(5, 99, u"lost");
  auto rows = list.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][kAddressColumn], u"http://h/0");
  EXPECT_EQ(rows[1][kAddressColumn], u"http://h/2");
  EXPECT_EQ(rows[2][kAddressColumn], u"http://h/5");
  EXPECT_EQ(rows[2][kProgressColumn], u"50%");
  // Inserting a key again starts that row afresh (a download continued).
  list.InsertRow(5, u"http://h/5");
  rows = list.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][kProgressColumn], u"");
  list.DeleteAllRows();
  EXPECT_EQ(list.RowCount(), 0u);
}

TEST(PlainStatusMonitor, RequestsAreSeenOnEveryThreadUntilCleared) {
  PlainStatusMonitor monitor;
  monitor.RequestCancel();
  EXPECT_EQ(monitor.StatusText(), u"Canceling....");
  monitor.SetStatusText(u"Downloading [1][0.00KB][http://h/]");
  EXPECT_EQ(monitor.StatusText(), u"Downloading [1][0.00KB][http://h/]");
  monitor.RequestPause();
  EXPECT_EQ(monitor.StatusText(), u"Pausing....");
  bool seenCancel = false, seenPause = false;
  std::thread reader([&] {
    seenCancel = monitor.IsCancelRequested();
    seenPause = monitor.IsPauseRequested();
  });
  reader.join();
  EXPECT_TRUE(seenCancel);
  EXPECT_TRUE(seenPause);
  monitor.ClearRequests();
  EXPECT_FALSE(monitor.IsCancelRequested());
  EXPECT_FALSE(monitor.IsPauseRequested());
}

TEST(StringTable, AReplacedTextMustAskForTheSameConversions) {
  const std::u16string builtIn = StringTable::Load(kIdsDownloading);
  // A translation may reword freely around the same conversions.
  EXPECT_TRUE(StringTable::Replace(kIdsDownloading, u"Laden [%d] [%.2fKB] %s"));
  EXPECT_EQ(StringTable::Load(kIdsDownloading), u"Laden [%d] [%.2fKB] %s");
  // Others would read arguments that are not there: refused.
  for (const char16_t* bad :
       {u"[%s][%.2fKB][%d]", u"%d %d %s", u"%n", u"[%d][%.2fKB]", u"%d %f %s %"}) {
    EXPECT_FALSE(StringTable::Replace(kIdsDownloading, bad));
    EXPECT_EQ(StringTable::Load(kIdsDownloading), u"Laden [%d] [%.2fKB] %s");
  }
  EXPECT_TRUE(StringTable::Replace(kIdsDownloading, builtIn));
  EXPECT_TRUE(StringTable::Replace(kIdsFailure, u"Fehler"));
  EXPECT_FALSE(StringTable::Replace(kIdsFailure, u"%s"));
  EXPECT_TRUE(StringTable::Replace(kIdsFailure, u"Failure"));
}

}  // namespace
}  // namespace kestrine
