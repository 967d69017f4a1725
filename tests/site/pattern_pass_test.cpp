#include "site/rewrite/pattern_pass.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrine {
namespace {

std::vector<std::u16string> found;

std::optional<std::u16string> Record(std::u16string_view raw, IReferenceRewriter&) {
  found.emplace_back(raw);
  return std::nullopt;
}

// What a pass must find: every start pattern, left to right, each value up
// to the next end delimiter, the search going on after that delimiter.
std::vector<std::u16string> Expected(const std::u16string& text, const std::u16string& start,
                                     const std::u16string& end) {
  std::vector<std::u16string> values;
  std::size_t g = text.find(start);
  if (g == 0) return values;
  while (g != std::u16string::npos) {
    g += start.size();
    const std::size_t e = text.find(end, g);
    if (e == std::u16string::npos) break;
    values.push_back(text.substr(g, e - g));
    g = text.find(start, e + end.size());
  }
  return values;
}

// The search looks at many places at once; matches at either end of the
// text, across those groups of places and beside near misses are all found.
TEST(RunPatternPass, FindsWhatAPlainSearchFinds) {
  struct Untouched : IReferenceRewriter {
    std::optional<std::u16string> Rewrite(const std::u16string&) override { return std::nullopt; }
  } rewriter;
  const std::u16string pieces[] = {u" href=\"", u" href=", u"href=\"", u" hre",   u"\"", u"=",
                                   u" ",        u"a",      u"\u4e2d",  u"\u3d20", u"=\""};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    const int count = static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    found.clear();
    std::u16string scanned = text;
    RunPatternPass(scanned, u" href=\"", u"\"", &Record, rewriter);
    ASSERT_EQ(found, Expected(text, u" href=\"", u"\"")) << round;
    found.clear();
    RunPatternPass(scanned, u"=\"", u"\"", &Record, rewriter);
    ASSERT_EQ(found, Expected(text, u"=\"", u"\"")) << round;
  }
}

}  // namespace
}  // namespace kestrine
