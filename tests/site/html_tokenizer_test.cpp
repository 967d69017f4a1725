#include "site/html/html_tokenizer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "runtime/string_utility.h"
#include "site/html/html_character_references.h"

namespace kestrine {
namespace {

struct StartTag {
  std::string name;
  std::map<std::string, std::string> attributes;
  bool selfClosing = false;
  bool operator==(const StartTag&) const = default;
};

std::ostream& operator<<(std::ostream& out, const StartTag& tag) {
  out << "<" << tag.name;
  for (const auto& [name, value] : tag.attributes) out << " [" << name << "]=[" << value << "]";
  return out << (tag.selfClosing ? " />" : ">");
}

// The start tags the reader finds, as the suite spells them.
std::vector<StartTag> StartTagsOf(const std::u16string& text) {
  std::vector<StartTag> found;
  HtmlTokenizer tokenizer(text);
  HtmlTag tag;
  while (tokenizer.Next(tag)) {
    if (tag.endTag) continue;
    StartTag start{StringUtility::ToUtf8(tokenizer.Name(tag.name)), {}, tag.selfClosing};
    for (const HtmlAttribute& attribute : tag.attributes) {
      const std::u16string_view raw = tokenizer.text().substr(
          attribute.value.begin, attribute.value.end - attribute.value.begin);
      start.attributes.emplace(
          StringUtility::ToUtf8(tokenizer.Name(attribute.name)),
          StringUtility::ToUtf8(HtmlCharacterReferences::DecodeAttribute(raw)));
    }
    found.push_back(std::move(start));
  }
  return found;
}

std::vector<StartTag> ExpectedStartTags(const nlohmann::json& output) {
  std::vector<StartTag> expected;
  for (const auto& token : output) {
    if (token[0] != "StartTag") continue;
    StartTag tag{token[1].get<std::string>(), {}, token.size() > 3 && token[3].get<bool>()};
    for (const auto& [name, value] : token[2].items()) tag.attributes[name] = value;
    expected.push_back(std::move(tag));
  }
  return expected;
}

TEST(HtmlTokenizer, ReadsEveryStartTagOfTheHtml5libSuiteAsTheStandardDoes) {
  int cases = 0;
  int passed = 0;
  for (const auto& file : std::filesystem::directory_iterator(KESTRINE_HTML5LIB_DIR)) {
    if (file.path().extension() != ".test") continue;
    const nlohmann::json suite = nlohmann::json::parse(std::ifstream(file.path()));
    for (const auto& test : suite["tests"]) {
      const std::vector<StartTag> expected = ExpectedStartTags(test["output"]);
      if (expected.empty()) continue;
      ++cases;
      const auto found = StartTagsOf(StringUtility::FromUtf8(test["input"].get<std::string>()));
      if (found == expected) {
        ++passed;
      } else {
        ADD_FAILURE() << file.path().filename() << ": " << test["description"] << "\n  input "
                      << test["input"] << "\n  found " << ::testing::PrintToString(found)
                      << "\n  expected " << ::testing::PrintToString(expected);
      }
    }
  }
  EXPECT_GE(cases, 434);
  std::cout << passed << " of " << cases << " html5lib tests with start tags passed\n";
}

// The tree's choices, which the suite leaves out: raw text elements and
// CDATA inside SVG.
TEST(HtmlTokenizer, RawTextAndForeignContentAreTheCallersToSwitch) {
  const std::u16string text =
      u"<script>var a = '<a href=\"x.html\">'; <!-- <script>'</script>' --> </script>"
      u"<style>p{}</style ><svg><![CDATA[<a href=\"in.html\">]]></svg><b>";
  HtmlTokenizer tokenizer(text);
  HtmlTag tag;
  std::vector<std::u16string> tags;
  while (tokenizer.Next(tag)) {
    const std::u16string name = tokenizer.Name(tag.name);
    tags.push_back((tag.endTag ? u"/" : u"") + name);
    if (tag.endTag) continue;
    if (name == u"script") tokenizer.SkipRawText(HtmlTokenizer::RawText::Script, name);
    if (name == u"style") {
      const TextRange range = tokenizer.SkipRawText(HtmlTokenizer::RawText::Text, name);
      EXPECT_EQ(text.substr(range.begin, range.end - range.begin), u"p{}");
    }
    if (name == u"svg") tokenizer.SetForeignContent(true);
  }
  EXPECT_EQ(tags, (std::vector<std::u16string>{u"script", u"/script", u"style", u"/style", u"svg",
                                               u"/svg", u"b"}));
}

// Each comment and each attribute name is read once: a page of 400,000
// comments, none ended by "--!>", or a tag of 400,000 attributes, is read
// in moments, not the hours a search to the page's end for each comment, or
// a comparison of each name with all before it, took. Both comment endings
// and the short forms still count, and a tag of many attributes still
// keeps the first of two with one name.
TEST(HtmlTokenizer, CommentsAndAttributesCostTimeLinearInThePage) {
  std::u16string text = u"<!--><a id=1><!---><a id=2><!-- x --!><a id=3><!-- <b> -- --> <a id=4>";
  for (int i = 0; i < 400'000; ++i) text += u"<!-- note -->";
  text += u"<a id=5><!-- open to the end <a id=6>";
  std::vector<std::string> ids;
  for (const StartTag& tag : StartTagsOf(text)) ids.push_back(tag.attributes.at("id"));
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "3", "4", "5"}));

  std::u16string tag = u"<p ID=first";
  for (int i = 0; i < 400'000; ++i) tag += u" a" + StringUtility::FromUtf8(std::to_string(i));
  tag += u" id=second A7=again>";
  const std::vector<StartTag> tags = StartTagsOf(tag);
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags[0].attributes.size(), 400'001u);
  EXPECT_EQ(tags[0].attributes.at("id"), "first");
  EXPECT_EQ(tags[0].attributes.at("a7"), "");
}

TEST(HtmlCharacterReferences, ValuesAreWrittenBackSoTheyReadTheSame) {
  const std::u16string values[] = {u"a&b", u"say \"hi\"", u"it's", u"", u"x y", u"a=b", u"plain"};
  for (const std::u16string& value : values) {
    for (char16_t quote : {u'"', u'\'', char16_t{0}}) {
      const std::u16string written = HtmlCharacterReferences::EncodeAttribute(value, quote);
      const std::u16string page = u"<a href=" + std::u16string(quote == 0 ? 0 : 1, quote) +
                                  written + std::u16string(quote == 0 ? 0 : 1, quote) + u">";
      const auto tags = StartTagsOf(page);
      ASSERT_EQ(tags.size(), 1u);
      EXPECT_EQ(tags[0].attributes.at("href"), StringUtility::ToUtf8(value))
          << StringUtility::ToUtf8(page);
    }
  }
  EXPECT_EQ(HtmlCharacterReferences::DecodeAttribute(u"?a=1&copy=2&amp;b&#102;&#x66;&notit;&lt"),
            u"?a=1&copy=2&bff&notit;<");
}

}  // namespace
}  // namespace kestrine
