// The settings files are read at every start: whatever stands in their
// place (a pipe, a device, a huge file) must neither hold the program nor
// take its memory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "config/kestrine_conf.h"
#include "config/recent_copies.h"
#include "config/setting_util.h"
#include "runtime/fs/local_files.h"
#include "support/config_home.h"
#include "support/temp_folder.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;

std::u16string Wide(const fs::path& path) {
  const std::string text = path.string();
  return std::u16string(text.begin(), text.end());
}

TEST(SettingsFiles, PipesAndDevicesAreRefusedWithoutWaiting) {
  testing::TempFolder folder;
  const fs::path pipe = folder.path() / "kestrine.conf";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  DownloadOptions options;
  // Before, the read waited for a writer that never came.
  std::vector<std::string> errors = KestrineConf::ApplyFile(Wide(pipe), options);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("is not a regular file"), std::string::npos) << errors[0];

  const fs::path zero = folder.path() / "zero.conf";
  fs::create_symlink("/dev/zero", zero);
  errors = KestrineConf::ApplyFile(Wide(zero), options);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("is not a regular file"), std::string::npos) << errors[0];

  // The list of recent copies is passed over, and so is the settings record.
  ASSERT_EQ(::mkfifo((folder.path() / "recent-copies").c_str(), 0600), 0);
  EXPECT_TRUE(RecentCopies(folder.Wide()).Load().empty());
  testing::ConfigHome home;
  SettingUtil& settings = SettingUtil::GetInstance();
  ASSERT_EQ(::mkfifo(NativePath(settings.GetSettingFile()).c_str(), 0600), 0);
  settings.Load();
  EXPECT_EQ(settings.record().threadNumber, 5);
}

TEST(SettingsFiles, AHugeFileIsRefusedAndBadLinesAreCounted) {
  testing::TempFolder folder;
  const fs::path large = folder.path() / "large.conf";
  {
    std::ofstream out(large);
    for (int i = 0; i < 100000; ++i) out << "levle = 1\n";  // 1,000,000 bytes
  }
  DownloadOptions options;
  std::vector<std::string> errors = KestrineConf::ApplyFile(Wide(large), options);
  // Under the bound every bad line counts, but only the first few are said.
  ASSERT_EQ(errors.size(), KestrineConf::kShownErrors + 1);
  EXPECT_EQ(errors.front(), "kestrine.conf:1: unknown key 'levle'");
  EXPECT_EQ(errors.back(), "kestrine.conf: 99,980 more bad lines");
  std::ofstream(large, std::ios::app) << std::string(KestrineConf::kMaxFileBytes, '#');
  errors = KestrineConf::ApplyFile(Wide(large), options);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("is larger than 1,048,576 bytes"), std::string::npos) << errors[0];
  // A missing file is no error: most users have none.
  EXPECT_TRUE(KestrineConf::ApplyFile(folder.Wide("none.conf"), options).empty());
}

TEST(SettingsFiles, StoringAKeyKeepsEveryOtherLine) {
  // Replaced where it stands, later lines for it dropped, comments kept.
  EXPECT_EQ(KestrineConf::Stored("# mine\nwacz = off\nlevel = 3\nwacz=on\n", "wacz", "on"),
            "# mine\nwacz = on\nlevel = 3\n");
  // Added when missing, also to a file without a last line end.
  EXPECT_EQ(KestrineConf::Stored("level = 3", "wacz", "on"), "level = 3\nwacz = on\n");
  EXPECT_EQ(KestrineConf::Stored("", "wacz", "off"), "wacz = off\n");
  // A commented-out key is no setting.
  EXPECT_EQ(KestrineConf::Stored("# wacz = on\n", "wacz", "off"), "# wacz = on\nwacz = off\n");
}

}  // namespace
}  // namespace kestrine
