#include "engine/queue/recorded_local_file.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrine {
namespace {

struct Case {
  std::u16string recorded;
  std::u16string expected;
  bool taken;
};

TEST(RecordedLocalFile, OnlyNamesTheRulesCouldGiveAreTaken) {
  const Case cases[] = {
      {u"docs\\index.html", u"docs\\index.html", true},
      {u"docs\\index-3.html", u"docs\\index.html", true},  // a collision suffix
      {u"v1-1.2\\notes.html", u"v1.2\\notes.html", true},  // a folder moved aside
      {u"LICENSE-2", u"LICENSE", true},                    // no extension
      {u"font.woff2.html", u"font.woff2", true},           // an earlier rule's name
      {u"font.woff2-1.html", u"font.woff2", true},
      {u"docs\\other.html", u"docs\\index.html", false},
      {u"..\\..\\elsewhere\\file", u"elsewhere\\file", false},
      {u"\\etc\\passwd", u"etc\\passwd", false},  // absolute
      {u"", u"index.html", false},
      {u"kestrine.journal", u"kestrine.journal", false},  // the engine's own
      {u"download.log", u"download.log", false},
      {u"~kestrine-part-1", u"~kestrine-part-1", false},
      {u"docs\\.\\index.html", u"docs\\index.html", false},
      {u"docs\\index.html\\", u"docs\\index.html", false},
      {u"docs\\a\x1b[2J.html", u"docs\\a\x1b[2J.html", false},  // a control character
      {u"docs/../../x", u"docs/../../x", false},
      {u"index-.html", u"index.html", false},
      {u"index-x1.html", u"index.html", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecordedLocalFile::CouldBeNamed(c.recorded, c.expected), c.taken)
        << std::string(c.recorded.begin(), c.recorded.end());
  }
}

TEST(RecordedLocalFile, LongNamesMayBeShortenedWithTheirHash) {
  const std::u16string long_name = std::u16string(300, u'n') + u".html";
  const std::u16string shortened = std::u16string(200, u'n') + u"~0123abcd.html";
  EXPECT_TRUE(RecordedLocalFile::CouldBeNamed(shortened, long_name));
  EXPECT_FALSE(RecordedLocalFile::CouldBeNamed(shortened, u"short.html"));
  EXPECT_FALSE(RecordedLocalFile::IsSafe(std::u16string(300, u'n')));
}

TEST(RecordedLocalFile, TheEnginesTemporaryNamesAreNoSiteNames) {
  const auto top = RecordedLocalFile::RuleNameOf(DownloadMode::DuplicateSite, u"h",
                                                 u"http://h/~kestrine-part-1", 1);
  EXPECT_EQ(top.Path(), u"-kestrine-part-1.html");
  const auto folder = RecordedLocalFile::RuleNameOf(DownloadMode::DuplicateSite, u"h",
                                                    u"http://h/~kestrine-part-1/x.html", 1);
  EXPECT_EQ(folder.Path(), u"-kestrine-part-1\\x.html");
  const auto deeper = RecordedLocalFile::RuleNameOf(DownloadMode::DuplicateSite, u"h",
                                                    u"http://h/a/~kestrine-x.css", 1);
  EXPECT_EQ(deeper.Path(), u"a\\~kestrine-x.css");
  EXPECT_EQ(RecordedLocalFile::RuleNameOf(DownloadMode::BrowsableCopy, u"h", u"http://h/a/b.png", 7)
                .Path(),
            u"7.b.png");
}

}  // namespace
}  // namespace kestrine
