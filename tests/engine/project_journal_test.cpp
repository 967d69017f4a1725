#include "engine/journal/project_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "engine/queue/address_queue.h"
#include "engine/queue/recorded_local_file.h"
#include "surfaces/plain_status_monitor.h"

#include "runtime/string_utility.h"
#include "support/temp_folder.h"

namespace kestrine {
namespace {

using testing::TempFolder;

std::u16string Wide(const std::filesystem::path& path) {
  return StringUtility::FromUtf8(path.string());
}

TEST(ProjectJournal, RecordsReadBackAndFieldsKeepEveryCharacter) {
  TempFolder folder;
  const auto path = folder.path() / "kestrine.journal";
  {
    ProjectJournal journal;
    ASSERT_TRUE(journal.Open(Wide(path), true));
    journal.RecordProject(DownloadMode::DuplicateSite, u"http://h/docs", u"h");
    journal.RecordQueued(0, 0, u"http://h/docs/index.html", u"h\\docs\\index.html");
    journal.RecordQueued(1, 1, u"http://h/docs/a\tb\\c\nd.html", u"h\\docs\\ab.html");
    journal.RecordOutcome(0, EntryOutcome::Stored, 1234, "\"etag-1\"",
                          "Mon, 07 Dec 2026 10:00:00 GMT");
    journal.RecordDocument(0, DocumentRecords::Kind::Page, u"utf-8", {1, 2});
    journal.RecordRunEnded();
  }
  const ProjectJournal::Contents contents = ProjectJournal::Read(Wide(path));
  ASSERT_TRUE(contents.found);
  EXPECT_EQ(contents.mode, DownloadMode::DuplicateSite);
  EXPECT_EQ(contents.sitePrefix, u"http://h/docs");
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[1].address, u"http://h/docs/a\tb\\c\nd.html");
  EXPECT_EQ(contents.entries[1].depth, 1);
  EXPECT_EQ(contents.entries[0].outcome, EntryOutcome::Stored);
  EXPECT_EQ(contents.entries[0].etag, "\"etag-1\"");
  ASSERT_EQ(contents.documents.records().size(), 1u);
  const auto referenced = contents.documents.ReferencesOf(contents.documents.records()[0]);
  EXPECT_EQ(std::vector<std::int32_t>(referenced.begin(), referenced.end()),
            (std::vector<std::int32_t>{1, 2}));
  EXPECT_TRUE(contents.ended);
}

TEST(ProjectJournal, ATornLastRecordIsPassedOverAtEveryByte) {
  const std::string head = ProjectJournal::Line({"P", "1", "http://h", "h"}) + "\n" +
                           ProjectJournal::Line({"Q", "0", "0", "http://h/", "h\\index.html"}) +
                           "\n";
  const std::string last = ProjectJournal::Line({"O", "0", "1", "77", "\"e\"", ""}) + "\n";
  TempFolder folder;
  const auto path = folder.path() / "kestrine.journal";
  for (std::size_t cut = 0; cut < last.size(); ++cut) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << head << last.substr(0, cut);
    const ProjectJournal::Contents contents = ProjectJournal::Read(Wide(path));
    ASSERT_TRUE(contents.found) << cut;
    ASSERT_EQ(contents.entries.size(), 1u) << cut;
    EXPECT_EQ(contents.entries[0].address, u"http://h/") << cut;
    EXPECT_EQ(contents.entries[0].outcome, EntryOutcome::None) << cut;
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << head << last;
  EXPECT_EQ(ProjectJournal::Read(Wide(path)).entries[0].outcome, EntryOutcome::Stored);
  // A damaged record in the middle is passed over too; the rest still count.
  std::string damaged = head + last;
  damaged[head.size() - 5] ^= 0x20;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
  const ProjectJournal::Contents contents = ProjectJournal::Read(Wide(path));
  EXPECT_TRUE(contents.found);
  EXPECT_TRUE(contents.entries.empty());
}

TEST(ProjectJournal, WhatAJournalSaysNeverMakesItsReaderAllocateFarBeyondItsSize) {
  TempFolder folder;
  const auto path = folder.path() / "kestrine.journal";
  {
    std::ofstream out(path, std::ios::binary);
    out << ProjectJournal::Line({"P", "1", "http://h", "h", "site"}) << "\n";
    out << ProjectJournal::Line({"Q", "0", "0", "http://h/", "index.html"}) << "\n";
    // Numbers far ahead of the entries before them, and negative ones.
    for (const char* number : {"4000000", "2147483647", "99999999999", "-5"}) {
      out << ProjectJournal::Line({"Q", number, "0", "http://h/x", "x.html"}) << "\n";
      out << ProjectJournal::Line({"O", number, "1", "5", "", ""}) << "\n";
    }
    // A line beyond the bound is passed over, and what follows still counts.
    out << std::string(ProjectJournal::kMaxLineBytes + 10, 'a') << "\n";
    out << ProjectJournal::Line({"Q", "1", "1", "http://h/a.html", "a.html"}) << "\n";
    out << ProjectJournal::Line({"W", "0", "1"}) << "\n";
  }
  const ProjectJournal::Contents contents = ProjectJournal::Read(Wide(path));
  ASSERT_TRUE(contents.found);
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[1].address, u"http://h/a.html");
  EXPECT_EQ(contents.entries[1].localFile, u"a.html");
  ASSERT_NE(contents.documents.WrittenToWeb(0), nullptr);
  EXPECT_EQ(*contents.documents.WrittenToWeb(0), (std::vector<std::int32_t>{1}));
}

TEST(ProjectJournal, RandomJournalsRestoreToLocalFilesInsideTheCopy) {
  std::mt19937 random(20261207);
  const std::vector<std::string> pieces = {"..",
                                           ".",
                                           "\\",
                                           "/",
                                           "a",
                                           "index.html",
                                           "~kestrine-part-1",
                                           "download.log",
                                           "kestrine.journal",
                                           "\x1b",
                                           "h",
                                           "x.css",
                                           "",
                                           "-1",
                                           "%2e"};
  auto text = [&](int parts) {
    std::string value;
    for (int i = 0; i < parts; ++i) value += pieces[random() % pieces.size()];
    return value;
  };
  TempFolder folder;
  const auto path = folder.path() / "kestrine.journal";
  for (int journal = 0; journal < 150; ++journal) {
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out << ProjectJournal::Line({"P", std::to_string(random() % 4), "http://h/" + text(2), "h",
                                   random() % 2 ? "site" : "old"})
          << "\n";
      for (int record = 0; record < 40; ++record) {
        out << ProjectJournal::Line({"Q", std::to_string(random() % 50),
                                     std::to_string(random() % 5), "http://h/" + text(3), text(4)})
            << "\n";
        out << ProjectJournal::Line({"O", std::to_string(random() % 50),
                                     std::to_string(random() % 3), text(1), text(1), text(1)})
            << "\n";
      }
    }
    const ProjectJournal::Contents contents = ProjectJournal::Read(Wide(path));
    AddressQueue queue;
    std::vector<AddressQueue::RestoredEntry> entries;
    for (const auto& entry : contents.entries) {
      if (entry.number >= 0) {
        entries.push_back({entry.number, entry.depth, entry.address, entry.localFile, false});
      }
    }
    queue.Restore(contents.mode, contents.sitePrefix, contents.siteHost, entries);
    for (const auto& entry : entries) {
      const QueueEntry* restored = queue.EntryByNumber(entry.number);
      ASSERT_NE(restored, nullptr);
      EXPECT_TRUE(RecordedLocalFile::IsSafe(restored->localFile))
          << StringUtility::ToUtf8(restored->localFile);
    }
  }
}

TEST(ProjectJournal, EarlierJournalsHadLocalFilesBelowTheSiteFoldersName) {
  TempFolder folder;
  const auto path = folder.path() / "kestrine.journal";
  std::ofstream(path, std::ios::binary)
      << ProjectJournal::Line({"P", "1", "http://h", "h"}) << "\n"
      << ProjectJournal::Line({"Q", "0", "0", "http://h/", "h\\index.html"}) << "\n"
      << ProjectJournal::Line({"Q", "1", "0", "http://h/a", "noFolder.html"}) << "\n";
  const ProjectJournal::Contents contents = ProjectJournal::Read(Wide(path));
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[0].localFile, u"index.html");
  EXPECT_EQ(contents.entries[1].localFile, u"");  // named anew by the queue
}

}  // namespace
}  // namespace kestrine
