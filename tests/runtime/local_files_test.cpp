#include "runtime/fs/local_files.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_folder.h"

namespace kestrine {
namespace {

TEST(LocalFiles, BackslashPathsWorkOnThisPlatform) {
  testing::TempFolder folder;
  const std::u16string nested = folder.Wide() + u"\\a\\b\\c";
  EXPECT_FALSE(FolderExist(nested));
  EXPECT_TRUE(CreateFolders(nested));
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "a/b/c"));
  const std::u16string file = nested + u"\\f.txt";
  EXPECT_TRUE(WriteLocalFile(file, "one", WriteMode::Truncate));
  EXPECT_TRUE(WriteLocalFile(file, "two", WriteMode::Append));
  EXPECT_EQ(ReadLocalFile(file, 6).value(), "onetwo");
  EXPECT_EQ(ReadLocalFile(file, 5).error().kind, ErrorKind::TooLarge);
  EXPECT_EQ(LocalFileSize(file), 6);
  EXPECT_TRUE(DeleteLocalFile(file));
  EXPECT_EQ(LocalFileSize(file), -1);
  EXPECT_FALSE(WriteLocalFile(folder.Wide() + u"\\missing\\f", "x", WriteMode::Truncate));
}

TEST(LocalFiles, ConfigPathFollowsXdg) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string keep = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
  EXPECT_EQ(GetConfigPath(), u"/tmp/xdg-test/kestrine");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_NE(GetConfigPath(), u"relative/kestrine");
  if (saved) {
    setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  EXPECT_EQ(GetDataPath().substr(GetDataPath().size() - 19), u"/Downloads/Kestrine");
}

}  // namespace
}  // namespace kestrine
