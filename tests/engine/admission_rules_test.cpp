#include "engine/queue/admission_rules.h"

#include <gtest/gtest.h>

#include "config/kestrine_conf.h"
#include "config/option_values.h"
#include "site/rules/robots_rules.h"

namespace kestrine {
namespace {

const std::u16string kPrefix = u"http://h/docs";

TEST(AdmissionRules, TrapRulesEachStopTheirKindAndNothingElse) {
  std::u16string deep = u"http://h/";
  for (int i = 0; i < 32; ++i) deep += u"d" + std::u16string(1, u'a' + i % 26) + u"/";
  EXPECT_FALSE(AdmissionRules::IsTooDeep(AdmissionRules::PathOf(deep + u"x.html")));
  EXPECT_TRUE(AdmissionRules::IsTooDeep(AdmissionRules::PathOf(deep + u"e/x.html")));
  EXPECT_FALSE(
      AdmissionRules::IsTooDeep(u"/a/b?x=/1/2/3/4/5/6/7/8/9/0/1/2/3/4/5/6/7/8/9/0/1/2/3/4"));

  EXPECT_FALSE(AdmissionRules::RepeatsASegment(u"/x/y/x/x/y/z.html"));
  EXPECT_TRUE(AdmissionRules::RepeatsASegment(u"/x/y/x/x/y/x/z.html"));
  EXPECT_FALSE(AdmissionRules::RepeatsASegment(u"/a/b/c/d/e/f/g/h/"));

  EXPECT_FALSE(AdmissionRules::IsTooLong(std::u16string(2048, u'a')));
  EXPECT_TRUE(AdmissionRules::IsTooLong(std::u16string(2049, u'a')));

  DownloadOptions options;
  AdmissionRules rules(options, kPrefix, u"h");
  for (int i = 0; i < AdmissionRules::kMaxQueriesPerPath; ++i) {
    ASSERT_EQ(rules.Decide(u"http://h/docs/cal.php?m=" + std::u16string(1, u'a' + i % 26) + u"&n=" +
                               std::u16string(i / 26 + 1, u'x'),
                           1),
              Refusal::None);
  }
  EXPECT_EQ(rules.Decide(u"http://h/docs/cal.php?m=last", 1), Refusal::TrapQueries);
  EXPECT_EQ(rules.Decide(u"http://h/docs/other.php?m=last", 1), Refusal::None);
  EXPECT_EQ(rules.Refused(Refusal::TrapQueries), 1);
  EXPECT_EQ(AdmissionRules::Describe(Refusal::TrapQueries, 1204),
            "skipped 1,204 addresses that looked like a crawler trap (over 1,000 query strings on "
            "one path)");

  options.trapRules = false;
  AdmissionRules off(options, kPrefix, u"h");
  EXPECT_EQ(off.Decide(deep + u"e/f/g/x.html", 1), Refusal::None);
}

TEST(AdmissionRules, LevelAndExternalPagesApplyToPagesNotToTheirFiles) {
  DownloadOptions options;
  options.level = 2;
  options.externalPages = false;
  AdmissionRules rules(options, kPrefix, u"h");
  EXPECT_EQ(rules.Decide(u"http://h/docs/a.html", 2), Refusal::None);
  EXPECT_EQ(rules.Decide(u"http://h/docs/b.html", 3), Refusal::Level);
  EXPECT_EQ(rules.Decide(u"http://h/docs/sub/", 3), Refusal::Level);
  EXPECT_EQ(rules.Decide(u"http://h/docs/logo.png", 3), Refusal::None);
  EXPECT_EQ(rules.Decide(u"http://other.org/page.html", 1), Refusal::ExternalPage);
  EXPECT_EQ(rules.Decide(u"https://h/elsewhere/page", 1), Refusal::ExternalPage);
  EXPECT_EQ(rules.Decide(u"https://h/docs/page", 1), Refusal::None);
  EXPECT_EQ(rules.Decide(u"http://cdn.org/app.js", 1), Refusal::None);
  EXPECT_TRUE(AdmissionRules::IsPageLike(u"http://h/list.php?x=1.png"));
  EXPECT_FALSE(AdmissionRules::IsPageLike(u"http://h/a.css?v=1"));
}

TEST(AdmissionRules, WithoutSpanningHostsNothingElsewhereIsTaken) {
  DownloadOptions options;
  options.spanHosts = false;
  AdmissionRules rules(options, u"http://h:8080/docs", u"h:8080");
  EXPECT_EQ(rules.Decide(u"http://h:8080/docs/a.html", 1), Refusal::None);
  EXPECT_EQ(rules.Decide(u"HTTPS://H:8080/img/a.png", 1), Refusal::None);
  EXPECT_EQ(rules.Decide(u"http://cdn.org/app.js", 1), Refusal::OtherHost);
  EXPECT_EQ(rules.Decide(u"http://h/docs/a.html", 1), Refusal::OtherHost);
  EXPECT_EQ(rules.Decide(u"http://other.org/page.html", 1), Refusal::OtherHost);
  EXPECT_EQ(AdmissionRules::Describe(Refusal::OtherHost, 2), "skipped 2 addresses on other hosts");
}

TEST(AdmissionRules, NameAndAddressFilters) {
  DownloadOptions options;
  options.accept = {"*.png", "*.css"};
  options.reject = {"big*"};
  options.exclude = {"*/private/*"};
  AdmissionRules rules(options, kPrefix, u"h");
  EXPECT_EQ(rules.Decide(u"http://h/docs/a.png", 1), Refusal::None);
  EXPECT_EQ(rules.Decide(u"http://h/docs/a.css?v=2", 1), Refusal::None);
  EXPECT_EQ(rules.Decide(u"http://h/docs/a.zip", 1), Refusal::Filtered);
  EXPECT_EQ(rules.Decide(u"http://h/docs/big.png", 1), Refusal::Filtered);
  EXPECT_EQ(rules.Decide(u"http://h/docs/next.html", 1), Refusal::None);  // pages are followed
  EXPECT_EQ(rules.Decide(u"http://h/docs/private/x.html", 1), Refusal::Filtered);
  options = {};
  options.include = {"http://h/docs/*"};
  AdmissionRules only(options, kPrefix, u"h");
  EXPECT_EQ(only.Decide(u"http://h/docs/x.html", 1), Refusal::None);
  EXPECT_EQ(only.Decide(u"http://h/blog/x.html", 1), Refusal::Filtered);
}

TEST(RobotsRules, TheGroupForUsOrForAnyoneWithLongestMatch) {
  const std::string text =
      "# comments are skipped\n"
      "User-agent: OtherBot\nDisallow: /\n\n"
      "User-agent: *\nDisallow: /private/\nAllow: /private/open.html\nDisallow: /*.pdf$\n";
  const RobotsRules anyone = RobotsRules::Parse(text, "Kestrine/2.0");
  EXPECT_TRUE(anyone.Allows("/docs/a.html"));
  EXPECT_FALSE(anyone.Allows("/private/a.html"));
  EXPECT_TRUE(anyone.Allows("/private/open.html"));
  EXPECT_FALSE(anyone.Allows("/x/y.pdf"));
  EXPECT_TRUE(anyone.Allows("/x/y.pdf?page=2"));
  const RobotsRules named =
      RobotsRules::Parse(text + "User-agent: kestrine\nDisallow: /only-us/\n", "Kestrine/2.0");
  EXPECT_TRUE(named.Allows("/private/a.html"));
  EXPECT_FALSE(named.Allows("/only-us/a.html"));
  EXPECT_TRUE(RobotsRules::Parse("<html>not robots</html>", "Kestrine/2.0").Allows("/x"));
  EXPECT_TRUE(RobotsRules::Parse("User-agent: *\nDisallow:\n", "Kestrine/2.0").Allows("/x"));
}

// Stars match any run, "$" anchors the end, the longest rule wins; a long
// robots.txt or a long pattern costs time linear in what each address is
// checked against: a rule of 2,000 "a" between stars took 0.1 s a link by
// going back over the last star, and 36,000 rules were each tried on every
// address.
TEST(RobotsRules, WildcardsAnchorsAndLongFilesCostLinearTime) {
  const RobotsRules rules = RobotsRules::Parse(
      "User-agent: *\nDisallow: /a*b**c\nAllow: /a*b*c*d$\nDisallow: /*.json$\n"
      "Disallow: /x/*/y\nAllow: /x/open\nDisallow: /$\nDisallow: *?sort=\n",
      "Kestrine/2.0");
  EXPECT_FALSE(rules.Allows("/a-b-c"));
  EXPECT_FALSE(rules.Allows("/abcabc/more"));
  EXPECT_TRUE(rules.Allows("/a-b-c-d"));
  EXPECT_FALSE(rules.Allows("/a-b-c-d-"));
  EXPECT_TRUE(rules.Allows("/ac-b"));
  EXPECT_FALSE(rules.Allows("/data/list.json"));
  EXPECT_TRUE(rules.Allows("/data/list.json?v=2"));
  EXPECT_FALSE(rules.Allows("/x/1/2/y/z"));
  EXPECT_TRUE(rules.Allows("/x/open/y"));
  EXPECT_FALSE(rules.Allows("/"));
  EXPECT_TRUE(rules.Allows("/index.html"));
  EXPECT_FALSE(rules.Allows("/list?sort=name&page=2"));
  EXPECT_TRUE(rules.Allows("/list?page=2&sort=name"));

  const std::string a(2000, 'a');
  const RobotsRules backtracking =
      RobotsRules::Parse("User-agent: *\nDisallow: /*" + a + "b\n", "Kestrine/2.0");
  std::string many = "User-agent: *\n";
  for (int i = 0; i < 36'000; ++i) many += "Disallow: /p" + std::to_string(i) + "/\n";
  const RobotsRules manyRules = RobotsRules::Parse(many, "Kestrine/2.0");
  for (int i = 0; i < 20'000; ++i) {
    ASSERT_TRUE(backtracking.Allows("/" + a + std::to_string(i)));
    ASSERT_TRUE(manyRules.Allows("/q" + std::to_string(i) + "/page.html"));
  }
  EXPECT_FALSE(backtracking.Allows("/x" + a + "b"));
  EXPECT_FALSE(manyRules.Allows("/p35999/page.html"));
  EXPECT_TRUE(manyRules.Allows("/p36000/page.html"));
}

TEST(KestrineConf, SettingsAndEveryBadLineWithItsNumber) {
  DownloadOptions options;
  const auto errors = KestrineConf::Apply(
      "# limits\nlevel = 5\nquota = 100M\n\nreject = *.iso\nreject=*.exe\nlevle = 3\n"
      "wait = soon\nrobots = off\njust words\n",
      options);
  EXPECT_EQ(options.level, 5);
  EXPECT_EQ(options.quota, 100ll * 1024 * 1024);
  EXPECT_EQ(options.reject, (std::vector<std::string>{"*.iso", "*.exe"}));
  EXPECT_FALSE(options.robots);
  EXPECT_EQ(errors, (std::vector<std::string>{"kestrine.conf:7: unknown key 'levle'",
                                              "kestrine.conf:8: bad value 'soon' for wait",
                                              "kestrine.conf:10: expected 'key = value'"}));
  EXPECT_EQ(OptionValues::ParseSize("1.5K"), 1536);
  EXPECT_EQ(OptionValues::ParseSize("2g"), 2ll * 1024 * 1024 * 1024);
  EXPECT_FALSE(OptionValues::ParseSize("-1"));
  EXPECT_FALSE(OptionValues::ParseSize("12 parsecs"));
  EXPECT_EQ(OptionValues::SizeText(100ll * 1024 * 1024), "100 MB");
}

}  // namespace
}  // namespace kestrine
