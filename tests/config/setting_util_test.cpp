#include "config/setting_util.h"

#include <gtest/gtest.h>
#include <array>
#include <vector>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "encoding/ansi_code_page.h"
#include "runtime/fs/local_files.h"
#include "support/config_home.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;

class SettingUtilTest : public ::testing::Test {
 protected:
  fs::path SettingFile() { return NativePath(settings.GetSettingFile()); }
  void WriteFile(const std::string& bytes) {
    settings.GetConfigFolder();
    std::ofstream(SettingFile(), std::ios::binary) << bytes;
  }

  testing::ConfigHome home;
  SettingUtil settings;
};

TEST_F(SettingUtilTest, FirstRunWithoutAFileKeepsTheDefaults) {
  settings.Load();
  const BasicSetting& record = settings.record();
  EXPECT_EQ(record.threadNumber, 5);
  EXPECT_EQ(record.timeOut, 10);
  EXPECT_EQ(record.reserved5508, 3027519);
  EXPECT_EQ(record.carried, 0);
  const std::u16string folder = settings.GetDownloadFolder();
  EXPECT_EQ(folder, GetDataPath());
  EXPECT_TRUE(FolderExist(folder));
  EXPECT_TRUE(FolderExist(settings.GetConfigFolder()));
  EXPECT_EQ(SettingFile().filename(), "quorl.cfg");
}

TEST_F(SettingUtilTest, SaveWritesTheExactRecordAndKeepsReservedFields) {
  BasicSetting stored = BasicSetting::Defaults();
  stored.threadNumber = 9;
  stored.reserved4 = 77;
  stored.reserved3008[10] = 0xAB;
  stored.reserved5512[0] = 0x11;
  stored.reserved5636 = -5;
  stored.reserved5640[127] = 0x22;
  stored.timeOut = 120;
  stored.carried = 42;
  std::strcpy(stored.path, "/srv/mirror");
  WriteFile(std::string(reinterpret_cast<const char*>(&stored), sizeof stored));

  settings.Load();
  EXPECT_EQ(settings.GetDownloadFolder(), u"/srv/mirror");
  EXPECT_EQ(settings.record().timeOut, 120);
  settings.Save();
  EXPECT_EQ(fs::file_size(SettingFile()), 5776u);
  const std::string saved = testing::TempFolder::Read(SettingFile());
  EXPECT_EQ(std::memcmp(saved.data(), &stored, sizeof stored), 0);
}

TEST_F(SettingUtilTest, ShortFileReplacesTheStartLongFileIsCut) {
  const std::int32_t threads = 3;
  WriteFile(std::string(reinterpret_cast<const char*>(&threads), 4));
  settings.Load();
  EXPECT_EQ(settings.record().threadNumber, 3);
  EXPECT_EQ(settings.record().timeOut, 10);

  BasicSetting stored = BasicSetting::Defaults();
  stored.timeOut = 30;
  std::string bytes(reinterpret_cast<const char*>(&stored), sizeof stored);
  bytes += std::string(100, 'z');
  WriteFile(bytes);
  SettingUtil other;
  other.Load();
  EXPECT_EQ(other.record().timeOut, 30);
  other.Save();
  EXPECT_EQ(fs::file_size(SettingFile()), 5776u);
}

TEST_F(SettingUtilTest, RecentFolderRules) {
  const std::u16string folders[] = {u"/a", u"/b", u"/c", u"/d", u"/e"};
  for (const auto& folder : folders) settings.AddRecentPath(folder);
  EXPECT_EQ(settings.RecentPath(0), u"/e");
  EXPECT_EQ(settings.RecentPath(4), u"/a");
  settings.AddRecentPath(u"/c");  // known: nothing moves
  EXPECT_EQ(settings.RecentPath(0), u"/e");
  EXPECT_EQ(settings.RecentPath(2), u"/c");
  settings.AddRecentPath(u"/A");  // case differs: a new folder, the oldest drops
  EXPECT_EQ(settings.RecentPath(0), u"/A");
  EXPECT_EQ(settings.RecentPath(4), u"/b");
}

TEST_F(SettingUtilTest, OversizeFolderIsRefusedAndNothingChanges) {
  settings.SetDownloadFolder(u"/kept");
  const std::u16string tooLong = u"/" + std::u16string(499, u'x');
  EXPECT_EQ(settings.SetDownloadFolder(tooLong), FolderResult::TooLong);
  EXPECT_EQ(settings.AddRecentPath(tooLong), FolderResult::TooLong);
  EXPECT_EQ(settings.GetDownloadFolder(), u"/kept");
  EXPECT_EQ(settings.RecentPath(0), u"");
  const std::u16string fits = u"/" + std::u16string(498, u'y');
  EXPECT_EQ(settings.SetDownloadFolder(fits), FolderResult::Stored);
  EXPECT_EQ(settings.GetDownloadFolder(), fits);
  // Multi-byte characters count by their bytes.
  if (AnsiCodePage::CharsetName() == "UTF-8") {
    EXPECT_EQ(settings.SetDownloadFolder(std::u16string(200, u'\u4e2d')), FolderResult::TooLong);
  }
}

TEST(SettingUtil, ValuesFromAHandEditedFileAreKeptInTheDialogsRanges) {
  testing::ConfigHome home;
  SettingUtil& settings = SettingUtil::GetInstance();
  for (const auto& [threads, timeOut, wantThreads, wantTimeOut] : std::vector<std::array<int, 4>>{
           {0, 2147484, 1, 300}, {99, 1, 15, 10}, {-5, -7, 1, 10}, {7, 42, 7, 42}}) {
    BasicSetting record = BasicSetting::Defaults();
    record.threadNumber = threads;
    record.timeOut = timeOut;
    std::ofstream(NativePath(settings.GetSettingFile()), std::ios::binary)
        .write(reinterpret_cast<const char*>(&record), sizeof record);
    settings.Load();
    EXPECT_EQ(settings.record().threadNumber, wantThreads);
    EXPECT_EQ(settings.record().timeOut, wantTimeOut);
  }
}

}  // namespace
}  // namespace kestrine
