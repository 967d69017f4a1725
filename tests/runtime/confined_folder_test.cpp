#include "runtime/fs/confined_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/fs/local_files.h"
#include "support/temp_folder.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// A folder with a file and a folder beside it that nothing may touch, and
// the copy's folder where links to them are planted. Files are stored both
// ways: named and moved in, and made without a name and linked in.
class ConfinedFolderTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    fs::create_directories(root.path() / "outside");
    fs::create_directories(root.path() / "copy");
    std::ofstream(Outside()) << "keep me";
    folder = ConfinedFolder::Open(root.Wide("copy"), ConfinedFolder::Create::No);
    ASSERT_TRUE(folder.IsOpen());
  }
  fs::path Copy() const { return root.path() / "copy"; }
  fs::path Outside() const { return root.path() / "outside" / "file"; }
  void ExpectOutsideUntouched() {
    EXPECT_EQ(TempFolder::Read(Outside()), "keep me");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root.path() / "outside")) {
      names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"file"});
  }
  // Why the bytes could not be stored there; nothing when they were.
  std::optional<std::string> Store(const std::u16string& relative, const std::string& bytes) {
    if (GetParam()) {
      auto anonymous = folder.CreateAnonymous();
      EXPECT_TRUE(anonymous);
      EXPECT_TRUE(WriteToDescriptor(anonymous->get(), bytes));
      const Status linked = folder.LinkInto(anonymous->get(), relative);
      if (linked) return std::nullopt;
      return linked.error().message;
    }
    auto file = folder.CreateTemporary("~kestrine-part-");
    EXPECT_TRUE(file);
    EXPECT_TRUE(WriteToDescriptor(file->fd.get(), bytes));
    file->fd.Reset();
    const Status moved = folder.MoveInto(file->name, relative);
    if (moved) return std::nullopt;
    folder.RemoveTemporary(file->name);
    return moved.error().message;
  }
  // Why the bytes could not replace the file there; nothing when they did.
  std::optional<std::string> ReplaceError(const std::u16string& relative,
                                          const std::string& bytes) {
    const Status replaced = folder.Replace(relative, bytes);
    if (replaced) return std::nullopt;
    return replaced.error().message;
  }

  TempFolder root;
  ConfinedFolder folder;
};

TEST_P(ConfinedFolderTest, FilesAndFoldersAreMadeInside) {
  EXPECT_FALSE(Store(u"a\\b\\c.html", "deep"));
  EXPECT_FALSE(Store(u"top.html", "top"));
  EXPECT_EQ(TempFolder::Read(Copy() / "a/b/c.html"), "deep");
  EXPECT_EQ(folder.Read(u"a\\b\\c.html").value(), "deep");
  EXPECT_EQ(folder.FileSize(u"top.html"), 3);
  EXPECT_FALSE(ReplaceError(u"a\\b\\c.html", "new"));
  EXPECT_EQ(TempFolder::Read(Copy() / "a/b/c.html"), "new");
  // An update stores over the file it had.
  EXPECT_FALSE(Store(u"top.html", "again"));
  EXPECT_EQ(TempFolder::Read(Copy() / "top.html"), "again");
  // Only the stored files are left: temporary names went with their moves.
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(Copy()))
    files += entry.is_regular_file();
  EXPECT_EQ(files, 2);
  // Paths that climb or hide a separator are no paths inside.
  for (const std::u16string bad :
       {u"..\\x", u"a\\..\\..\\x", u"", u"\\x", u"a\\\\b", u"a/../../x"}) {
    EXPECT_TRUE(Store(bad, "x")) << std::string(bad.begin(), bad.end());
    EXPECT_FALSE(folder.Read(bad));
  }
  ExpectOutsideUntouched();
}

TEST_P(ConfinedFolderTest, PlantedLinksAreNeverWrittenThrough) {
  fs::create_symlink(Outside(), Copy() / "page.html");
  fs::create_directory_symlink(root.path() / "outside", Copy() / "sub");
  fs::create_directories(Copy() / "real");
  fs::create_symlink(Outside(), Copy() / "real" / "link.css");

  const auto file = Store(u"page.html", "body");
  ASSERT_TRUE(file);
  EXPECT_NE(file->find("symbolic link"), std::string::npos) << *file;
  const auto folderLink = Store(u"sub\\x.html", "body");
  ASSERT_TRUE(folderLink);
  EXPECT_NE(folderLink->find("symbolic link stands where the folder sub"), std::string::npos)
      << *folderLink;
  // Reading and replacing refuse links as well: a page's text never comes
  // from outside, and a rewrite never lands there.
  EXPECT_FALSE(folder.Read(u"page.html"));
  EXPECT_FALSE(folder.Read(u"sub\\file"));
  EXPECT_TRUE(ReplaceError(u"page.html", "x"));
  EXPECT_TRUE(ReplaceError(u"real\\link.css", "x"));
  EXPECT_FALSE(folder.HoldsFile(u"page.html"));
  ExpectOutsideUntouched();
}

TEST_P(ConfinedFolderTest, OwnFilesReplaceLinksAndSecondNamesInsteadOfAppendingToThem) {
  fs::create_symlink(Outside(), Copy() / "download.log");
  fs::create_hard_link(Outside(), Copy() / "kestrine.journal");
  ::mkfifo((Copy() / "pipe").c_str(), 0666);

  for (const char* name : {"download.log", "kestrine.journal"}) {
    for (bool fresh : {true, false}) {
      const UniqueFd fd = folder.OpenOwnFile(name, fresh);
      ASSERT_TRUE(fd.valid()) << name;
      EXPECT_TRUE(WriteToDescriptor(fd.get(), "line\n"));
    }
    EXPECT_FALSE(fs::is_symlink(Copy() / name));
    EXPECT_EQ(fs::hard_link_count(Copy() / name), 1u);
  }
  EXPECT_EQ(TempFolder::Read(Copy() / "download.log"), "line\nline\n");
  // A plain file of its own is appended to; a pipe does not hold the run
  // but gives way to a file.
  EXPECT_EQ(TempFolder::Read(Copy() / "kestrine.journal"), "line\nline\n");
  EXPECT_TRUE(folder.OpenOwnFile("pipe", false).valid());
  EXPECT_TRUE(fs::is_regular_file(Copy() / "pipe"));
  ::mkfifo((Copy() / "reading").c_str(), 0666);
  EXPECT_FALSE(folder.OpenOwnFileForReading("reading").valid());
  fs::create_symlink(Outside(), Copy() / "linked.journal");
  EXPECT_FALSE(folder.OpenOwnFileForReading("linked.journal").valid());
  ExpectOutsideUntouched();
}

TEST_P(ConfinedFolderTest, TemporaryNamesCannotBeGuessed) {
  const auto first = folder.CreateTemporary("~kestrine-part-");
  const auto second = folder.CreateTemporary("~kestrine-part-");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->name, second->name);
  EXPECT_GE(first->name.size(), std::string("~kestrine-part-").size() + 20);
}

INSTANTIATE_TEST_SUITE_P(NamedOrAnonymous, ConfinedFolderTest, ::testing::Bool());

}  // namespace
}  // namespace kestrine
