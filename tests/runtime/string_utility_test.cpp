#include "runtime/string_utility.h"

#include <gtest/gtest.h>

namespace kestrine {
namespace {

using Parts = std::vector<std::u16string>;

TEST(StringUtilitySplit, NoEmptyLastPartForATrailingSeparator) {
  EXPECT_EQ(StringUtility::Split(u"D:\\Sites\\example.com\\", u'\\'),
            (Parts{u"D:", u"Sites", u"example.com"}));
  EXPECT_EQ(StringUtility::Split(u"a\\\\b", u'\\'), (Parts{u"a", u"", u"b"}));
  EXPECT_EQ(StringUtility::Split(u"\\a", u'\\'), (Parts{u"", u"a"}));
  EXPECT_EQ(StringUtility::Split(u"", u'\\'), Parts{});
}

TEST(StringUtilityReplaceAll, OnePassOverNonOverlappingOccurrences) {
  EXPECT_EQ(StringUtility::ReplaceAll(u"a\\\\\\b", u"\\\\", u"\\"), u"a\\\\b");
  EXPECT_EQ(StringUtility::ReplaceAll(u"/././", u"/./", u"/"), u"/./");
  EXPECT_EQ(StringUtility::ReplaceAll(u"abc", u"", u"x"), u"abc");
}

TEST(StringUtilityFind, AgreesWithTheLibrarySearch) {
  const std::u16string texts[] = {u"", u"a", u"aaab", u"/../x/./", u"http://h//a/../", u"ab/"};
  const std::u16string patterns[] = {u"", u"a", u"aab", u"/./", u"/../", u"//", u"ab/", u"xyz/"};
  for (const std::u16string& text : texts) {
    for (const std::u16string& pattern : patterns) {
      for (std::size_t from = 0; from <= text.size() + 1; ++from) {
        EXPECT_EQ(StringUtility::Find(text, pattern, from), text.find(pattern, from))
            << StringUtility::ToUtf8(text) << " " << StringUtility::ToUtf8(pattern) << " " << from;
      }
    }
  }
}

TEST(StringUtilityUtf8, RoundTripsAndReplacesLoneSurrogates) {
  const std::u16string text = u"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(StringUtility::FromUtf8(StringUtility::ToUtf8(text)), text);
  // ASCII runs of any length between other characters.
  for (std::size_t run = 0; run < 20; ++run) {
    const std::u16string mixed =
        std::u16string(run, u'x') + text + std::u16string(run, u'y') + text;
    EXPECT_EQ(StringUtility::FromUtf8(StringUtility::ToUtf8(mixed)), mixed);
  }
  EXPECT_EQ(StringUtility::ToUtf8(u"ab\u00e9cd"),
            "ab\xC3\xA9"
            "cd");
  EXPECT_EQ(StringUtility::ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(StringUtility::FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");
}

TEST(StringUtilityUtf8, PageTextIsWrittenTheSameWhereverItsOtherCharactersFall) {
  // Characters just past ASCII in either byte of a unit, and a pair, at
  // every place of ASCII runs that cross the blocks the writer works in.
  for (const std::u16string other : {u"\u0080", u"\u0100", u"\u00ff", u"\U0001F600"}) {
    for (const std::size_t run : {0u, 1u, 7u, 8u, 9u, 255u, 256u, 257u, 300u}) {
      const std::u16string text = std::u16string(run, u'a') + other + std::u16string(run, u'\x7f');
      std::string written = "<";
      StringUtility::AppendAsUtf8(written, text);
      EXPECT_EQ(written, "<" + StringUtility::ToUtf8(text)) << run;
    }
  }
  std::string lone;
  StringUtility::AppendAsUtf8(lone, std::u16string(9, u'a') + u'\xDC00' + u'b');
  EXPECT_EQ(lone, "aaaaaaaaa?b");
}

TEST(StringUtilityPrintable, ControlsAndReorderingMarksAreWrittenOut) {
  EXPECT_EQ(StringUtility::Printable("plain caf\xc3\xa9 \xe4\xb8\xad"),
            "plain caf\xc3\xa9 \xe4\xb8\xad");
  EXPECT_EQ(StringUtility::Printable("a\x1b]0;t\x07"
                                     "b\r\n\x7f"),
            "a\\x1b]0;t\\x07b\\x0d\\x0a\\x7f");
  EXPECT_EQ(StringUtility::Printable("\xc2\x9b"
                                     "2J \xe2\x80\xae \xe2\x81\xa6"),
            "\\u009b2J \\u202e \\u2066");
  // Bytes that are no UTF-8 never reach the terminal raw.
  EXPECT_EQ(StringUtility::Printable("x\x9by"), "x\xef\xbf\xbdy");
}

}  // namespace
}  // namespace kestrine
