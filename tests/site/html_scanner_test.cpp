#include "site/html_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/stub_scan_project.h"

namespace kestrine {
namespace {

using testing::StubScanProject;
using Strings = std::vector<std::u16string>;

const std::u16string kPage = u"http://example.com/news/index.html";
const std::u16string kRoot = u"D:\\Sites";
const std::u16string kPageFolder = u"D:\\Sites\\example.com\\news";

std::u16string Scan(StubScanProject& project, std::u16string text,
                    const std::u16string& pageFolder = kPageFolder) {
  ScanHtmlReferences(project, text, u"utf-8", kPage, kRoot, pageFolder);
  return text;
}

const std::u16string kWorkedExample =
    u"<a href=\"../about.html\">About</a><img src='img/a.gif'>"
    u"<a href=\"#top\">Top</a><td background=\"bg.gif\">"
    u"<div style=\"background:url('/css/bg.png')\">";

TEST(ScanHtmlReferences, WorkedExampleDuplicateSite) {
  StubScanProject project(DuplicateSite, u"example.com");
  EXPECT_EQ(Scan(project, kWorkedExample),
            u"<a href=\"../about.html\">About</a><img src='img/a.gif'>"
            u"<a href=\"#top\">Top</a><td background=\"bg.gif\">"
            u"<div style=\"background:url(../css/bg.png)\">");
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/about.html", u"http://example.com/news/img/a.gif",
                     u"http://example.com/css/bg.png"}));
}

TEST(ScanHtmlReferences, WorkedExampleBrowsableCopyNumbersNames) {
  StubScanProject project(BrowsableCopy, u"example.com");
  const std::u16string out = Scan(project, kWorkedExample, u"D:\\Sites\\example.com");
  EXPECT_NE(out.find(u"href=\"2.about.html\""), std::u16string::npos);
  EXPECT_NE(out.find(u"src='3.a.gif'"), std::u16string::npos);
  EXPECT_NE(out.find(u"url(4.bg.png)"), std::u16string::npos);
}

TEST(ScanHtmlReferences, SkippedReferencesStayExactly) {
  StubScanProject project(DuplicateSite, u"example.com");
  const std::u16string page =
      u"x <a href=\"#top\"> <a href=\"JavaScript: void(0)\"> <a href=\"javascript:go()\">"
      u" <a HREF=\"upper.html\"> <a href = \"spaced.html\"> <a href=bare.html>"
      u"\n<a\thref=\"tab.html\"> <a\nhref=\"line.html\"> <td background=\"bg.gif\">"
      u" <meta content=\"5; url=late.html\"> <meta content=\"0;url=tight.html\"> URL(up.png)";
  EXPECT_EQ(Scan(project, page), page);
  EXPECT_TRUE(project.queued.empty());
}

TEST(ScanHtmlReferences, TakenReferenceForms) {
  StubScanProject project(DuplicateSite, u"example.com");
  const std::u16string out =
      Scan(project,
           u"x <td background=\"img/bg.gif\"> <meta content=\"0; url=next.html\">"
           u" <a href=\"my file.html\"> <a href=\"\"> <a href=\"mailto:someone\">"
           u" <a href=\"page.html#part\"> <a href=\"page.html#part\">");
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/news/myfile.html", u"http://example.com/news/",
                     u"http://example.com/news/page.html", u"http://example.com/news/next.html",
                     u"http://example.com/news/img/bg.gif"}));
  EXPECT_NE(out.find(u"background=\"img/bg.gif\""), std::u16string::npos);
  EXPECT_NE(out.find(u"content=\"0; url=next.html\""), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"myfile.html\""), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"index.html\""), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"mailto:someone\""), std::u16string::npos);
  // Both mentions of the same address write the same file, fragment kept.
  const std::u16string part = u"href=\"page.html#part\"";
  const std::size_t first = out.find(part);
  ASSERT_NE(first, std::u16string::npos);
  EXPECT_NE(out.find(part, first + 1), std::u16string::npos);
}

TEST(ScanHtmlReferences, EveryPatternIsFoundWhateverSurroundsIt) {
  // Characters whose bytes look like "=" or "(" (U+3D3D, U+283D, U+3D00)
  // must not hide or fake a pattern.
  StubScanProject project(DuplicateSite, u"example.com");
  const std::u16string page =
      u"\u3d3d\u283d <a href=\"a.html\">\u3d00 <a href=\"b.html\">"
      u"=(=( <img src=\"c.png\"> x\u3d3d href=\"d.html\"url(e.png)";
  Scan(project, page);
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/news/a.html", u"http://example.com/news/b.html",
                     u"http://example.com/news/d.html", u"http://example.com/news/c.png",
                     u"http://example.com/news/e.png"}));
}

TEST(ScanHtmlReferences, PatternAtTheVeryFirstCharacterEndsThatPass) {
  StubScanProject project(DuplicateSite, u"example.com");
  const std::u16string page = u" href=\"a.html\" and href=\"b.html\" <img src=\"c.gif\">";
  const std::u16string out = Scan(project, page);
  EXPECT_EQ(project.queued, (Strings{u"http://example.com/news/c.gif"}));
  EXPECT_EQ(out.substr(0, 33), page.substr(0, 33));
}

TEST(ScanHtmlReferences, WrittenReferencesAreUrls) {
  StubScanProject project(BrowsableCopy, u"example.com", 6);
  const std::u16string out = Scan(project, u"x <a href=\"my%20file.pdf\"> <a href=\"a b.pdf\">",
                                  u"D:\\Sites\\example.com");
  EXPECT_NE(out.find(u"href=\"7.my%2520file.pdf\""), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"8.ab.pdf\""), std::u16string::npos);
}

TEST(ScanHtmlReferences, CancelOrPauseMidScanKeepsRewritesSoFar) {
  StubScanProject project(DuplicateSite, u"example.com");
  // Checks: before pass 1, before reference 1, before reference 2 (stop).
  project.stopAfterChecks = 2;
  const std::u16string out =
      Scan(project, u"x <a href=\"../one.html\"> <a href=\"../two.html\"> <img src=\"i.gif\">");
  EXPECT_EQ(out, u"x <a href=\"../one.html\"> <a href=\"../two.html\"> <img src=\"i.gif\">");
  EXPECT_EQ(project.queued, (Strings{u"http://example.com/one.html"}));
}

TEST(ScanHtmlReferences, HostileTextNeitherCrashesNorHangs) {
  StubScanProject project(DuplicateSite, u"example.com");
  std::u16string huge(2'000'000, u'a');
  huge += u" href=\"";  // no end delimiter
  huge += std::u16string(100'000, u'b');
  std::u16string nasty = u"x <a href=\"" + std::u16string(100'000, u'c') + u"\">";
  nasty += std::u16string(u"\0\x01\xD800\xDFFF <img src=\"\xD800.gif\">", 22);
  nasty += u" url(../../../../../etc/passwd) <a href=\"..\\..\\..\\x\">";
  for (int i = 0; i < 2000; ++i) nasty += u"url(";
  EXPECT_EQ(Scan(project, huge), huge);
  const std::u16string out = Scan(project, nasty);
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out.find(u"\\"), std::u16string::npos);
  EXPECT_EQ(out.find(u"../../"), std::u16string::npos);
}

}  // namespace
}  // namespace kestrine
