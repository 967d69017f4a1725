#include "encoding/charset_transfer_util.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "encoding/code_page_table.h"
#include "encoding/iconv_converter.h"

namespace kestrine {
namespace {

class CharsetTransferUtilTest : public ::testing::Test {
 protected:
  void TearDown() override { CharsetTransferUtil::OverrideSystemDefaultLanguage(std::nullopt); }
  const CharsetTransferUtil& util = CharsetTransferUtil::GetInstance();
};

TEST_F(CharsetTransferUtilTest, TableHoldsTheRowsInOrder) {
  const auto rows = CodePageRows();
  ASSERT_EQ(rows.size(), 152u);
  EXPECT_EQ(rows.front().codePage, 37);
  EXPECT_EQ(rows.back().codePage, 65001);
  int unnamed = 0;
  for (const auto& row : rows) unnamed += row.name.empty() ? 1 : 0;
  EXPECT_EQ(unnamed, 11);
}

TEST_F(CharsetTransferUtilTest, EmptyNameFollowsTheSystemLanguage) {
  CharsetTransferUtil::OverrideSystemDefaultLanguage(0x0804);
  EXPECT_EQ(util.GetCodePage(u""), 936);
  for (std::uint16_t language : {0x0404, 0x0C04, 0x1004, 0x0409}) {
    CharsetTransferUtil::OverrideSystemDefaultLanguage(language);
    EXPECT_EQ(util.GetCodePage(u""), 65001) << language;
  }
}

TEST_F(CharsetTransferUtilTest, NamesMatchWholeIgnoringCaseFirstRowWins) {
  const std::vector<std::pair<std::u16string, int>> cases = {
      {u"GBK", 936},           {u"gbk", 936},
      {u"GbK", 936},           {u"GB2312", 936},
      {u"UTF-8", 65001},       {u"utf-8", 65001},
      {u"Windows-1252", 1252}, {u"IBM037", 37},
      {u"iso-2022-jp", 50220}, {u"euc-jp", 20932},
      {u"EUC-JP", 20932},      {u" utf-8", 65001},
      {u"no-such", 65001},     {u"windows-1252 ", 65001},
      {u"shift_jis", 932},     {u"koi8-r", 20866},
      {u"GB18030", 54936},
  };
  for (const auto& [name, codePage] : cases) {
    EXPECT_EQ(util.GetCodePage(name), codePage) << std::string(name.begin(), name.end());
  }
}

TEST_F(CharsetTransferUtilTest, WideToCharsetExamples) {
  EXPECT_EQ(util.WideToCharset(u"utf-8", u"abc"), "abc");
  EXPECT_EQ(util.WideToCharset(u"utf-8", u""), "");
  EXPECT_EQ(util.WideToCharset(u"windows-1252", u"\u00e9"), "\xE9");
  EXPECT_EQ(util.WideToCharset(u"UTF-16", u"abc"), "");
  EXPECT_EQ(util.WideToCharset(u"utf-32", u"abc"), "");
  EXPECT_EQ(util.WideToCharset(u"unicodeFFFE", u"abc"), "");
  // Unmappable characters are kept in place as "?".
  EXPECT_EQ(util.WideToCharset(u"windows-1252", u"a\u4e2db"), "a?b");
  // An embedded NUL does not cut the text short.
  EXPECT_EQ(util.WideToCharset(u"utf-8", std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST_F(CharsetTransferUtilTest, CharsetsThatNeedMoreThanThreeBytesPerUnitEncodeFully) {
  // Many Latin letters take four bytes in GB18030, and ISO 2022 spends
  // escape sequences on every switch: both overflow a 3n + 1 buffer.
  std::u16string text;
  for (int i = 0; i < 50; ++i) text += u"\u00c0";
  const std::string gb = util.WideToCharset(u"GB18030", text);
  EXPECT_EQ(gb.size(), 200u);
  EXPECT_EQ(util.CharsetToWide(u"GB18030", gb), text);

  std::u16string mixed;
  for (int i = 0; i < 40; ++i) mixed += u"a\u3042";
  const std::string jis = util.WideToCharset(u"iso-2022-jp", mixed);
  EXPECT_GT(jis.size(), mixed.size() * 3 + 1);
  EXPECT_EQ(util.CharsetToWide(u"iso-2022-jp", jis), mixed);

  const std::string utf7 = util.WideToCharset(u"utf-7", u"\u00e9a\u00e9a\u00e9");
  EXPECT_FALSE(utf7.empty());
  EXPECT_EQ(util.CharsetToWide(u"utf-7", utf7), u"\u00e9a\u00e9a\u00e9");
}

TEST_F(CharsetTransferUtilTest, DecodedTextEncodesBackToTheSameBytes) {
  const std::vector<std::pair<std::u16string, std::string>> samples = {
      {u"gb2312", "\xD6\xD0\xCE\xC4 <a href=\"x\">"},
      {u"GBK", "\x81\x40\xD6\xD0"},
      {u"shift_jis", "\x82\xA0\x82\xA2 abc \x93\xFA\x96\x7B"},
      {u"euc-jp", "\xA4\xA2\xA4\xA4 \xC6\xFC\xCB\xDC"},
      {u"windows-1252", "caf\xE9 \x80 \x93quoted\x94"},
      {u"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4"},
      {u"utf-8", "na\xC3\xAFve \xE4\xB8\xAD \xF0\x9F\x98\x80"},
  };
  for (const auto& [charset, bytes] : samples) {
    const std::u16string text = util.CharsetToWide(charset, bytes);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(util.WideToCharset(charset, text), bytes)
        << std::string(charset.begin(), charset.end());
  }
}

TEST_F(CharsetTransferUtilTest, InvalidBytesDecodeToReplacementAndStrictDecodingRefuses) {
  EXPECT_EQ(util.CharsetToWide(u"utf-8",
                               "a\xFF"
                               "b"),
            u"a\uFFFDb");
  EXPECT_FALSE(util.TryCharsetToWide(u"utf-8", "a\xFF").has_value());
  EXPECT_EQ(util.TryCharsetToWide(u"utf-8", "ok").value(), u"ok");
}

TEST_F(CharsetTransferUtilTest, FirstUseFromManyThreadsGivesOneInstance) {
  std::vector<const CharsetTransferUtil*> seen(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &CharsetTransferUtil::GetInstance(); });
  }
  for (auto& thread : threads) thread.join();
  for (const auto* instance : seen) EXPECT_EQ(instance, seen.front());
}

// UTF-8 has a path of its own beside iconv; "UTF8" is the same charset
// reached through iconv, so both must agree on every input.
TEST(IconvConverterUtf8, OwnPathAgreesWithIconv) {
  std::vector<std::string> inputs;
  for (int a = 0; a < 256; ++a) {
    inputs.push_back(std::string(1, static_cast<char>(a)) + "x");
    for (int b = 0x70; b < 0xC8; ++b) {
      inputs.push_back({static_cast<char>(a), static_cast<char>(b)});
      for (int c : {0x41, 0x80, 0x9F, 0xA0, 0xBF, 0xC0}) {
        inputs.push_back({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
        inputs.push_back(
            {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), '\x80'});
      }
    }
  }
  // Runs of ASCII are read eight bytes at a time: whatever ends a run,
  // wherever it falls, reads the same.
  for (const std::size_t run : {7, 8, 9, 15, 16, 17}) {
    for (int a = 0x70; a < 0x100; ++a) {
      inputs.push_back(std::string(run, 'a') + static_cast<char>(a) + "\xA9" +
                       std::string(run, 'b'));
    }
  }
  for (const std::string& bytes : inputs) {
    ASSERT_EQ(IconvConverter::ToUtf16("UTF-8", bytes), IconvConverter::ToUtf16("UTF8", bytes));
    ASSERT_EQ(IconvConverter::ToUtf16Strict("UTF-8", bytes),
              IconvConverter::ToUtf16Strict("UTF8", bytes));
  }
  const std::u16string texts[] = {u"plain",
                                  u"caf\u00e9 \u4e2d\u6587 \U0001F600",
                                  u"\uFFFE\uFFFF\u0800\u07FF",
                                  std::u16string(1, u'\xD800') + u"a",
                                  u"a" + std::u16string(1, u'\xDC00'),
                                  std::u16string(1, u'\xDBFF')};
  for (const std::u16string& text : texts) {
    EXPECT_EQ(IconvConverter::FromUtf16("UTF-8", text), IconvConverter::FromUtf16("UTF8", text));
  }
}

// Each unit iconv refuses costs the same: 2 MB of UTF-16 that is all lone
// surrogates, or of bytes no Shift_JIS text holds, read in moments, where
// zeroing the output again at each one took minutes.
TEST(IconvConverter, BadBytesCostTimeLinearInTheText) {
  // ThreadSanitizer makes each call into iconv many times slower; the
  // bound is for the program.
#if defined(__SANITIZE_THREAD__)
  constexpr std::size_t kBytes = 64 << 10;
#else
  constexpr std::size_t kBytes = 2 << 20;
#endif
  const std::string surrogates(kBytes, '\xDC');
  const auto utf16 = IconvConverter::ToUtf16("UTF-16LE", surrogates);
  ASSERT_TRUE(utf16.has_value());
  EXPECT_EQ(utf16->find_first_not_of(u'\xFFFD'), std::u16string::npos);
  EXPECT_EQ(utf16->size(), surrogates.size() / 2);
  // One U+FFFD a refused unit, and the text after it read in step.
  EXPECT_EQ(IconvConverter::ToUtf16("UTF-16LE", std::string("a\0\x00\xDC"
                                                            "b\0",
                                                            6)),
            u"a\uFFFDb");
  EXPECT_EQ(IconvConverter::ToUtf16("UTF-16BE", std::string("\0a\xDC\x00\0b", 6)), u"a\uFFFDb");
  EXPECT_FALSE(IconvConverter::ToUtf16Strict("UTF-16LE", surrogates).has_value());

  std::string shiftJis;
  for (std::size_t i = 0; i < kBytes / 2; ++i) shiftJis += i % 2 == 0 ? "\xFF" : "a";
  const auto text = IconvConverter::ToUtf16("SHIFT_JIS", shiftJis);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->substr(0, 4), u"\uFFFDa\uFFFDa");
  EXPECT_EQ(text->size(), shiftJis.size());
}

}  // namespace
}  // namespace kestrine
