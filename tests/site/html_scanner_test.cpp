#include "site/html/html_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/string_utility.h"
#include "site/html/html_vocabulary.h"
#include "support/stub_scan_project.h"

namespace kestrine {
namespace {

using testing::StubScanProject;
using Strings = std::vector<std::u16string>;

std::string ToUtf8(const std::u16string& text) { return StringUtility::ToUtf8(text); }
std::u16string FromUtf8(const std::string& text) { return StringUtility::FromUtf8(text); }

const std::u16string kPage = u"http://example.com/news/index.html";
const std::u16string kRoot = u"D:\\Sites";
const std::u16string kPageFolder = u"D:\\Sites\\example.com\\news";

std::u16string Scan(StubScanProject& project, std::u16string text,
                    const std::u16string& pageFolder = kPageFolder) {
  ScanHtmlReferences(project, text, kPage, kRoot, pageFolder);
  return text;
}

const std::u16string kWorkedExample =
    u"<a href=\"../about.html\">About</a><img src='img/a.gif'>"
    u"<a href=\"#top\">Top</a><td background=\"bg.gif\">"
    u"<div style=\"background:url('/css/bg.png')\">";

// Tag names are known in any letter case, by their whole name only.
TEST(HtmlVocabulary, ElementsAreKnownInAnyCaseAndOnlyWhole) {
  using E = HtmlVocabulary::Element;
  const std::pair<std::u16string_view, E> known[] = {{u"a", E::A},
                                                     {u"A", E::A},
                                                     {u"TD", E::Td},
                                                     {u"Img", E::Img},
                                                     {u"LINK", E::Link},
                                                     {u"sCrIpT", E::Script},
                                                     {u"iframe", E::Iframe},
                                                     {u"NoEmbed", E::Noembed},
                                                     {u"textarea", E::Textarea},
                                                     {u"noframes", E::Noframes},
                                                     {u"PLAINTEXT", E::Plaintext},
                                                     {u"video", E::Video},
                                                     {u"b", E::Other},
                                                     {u"tr", E::Other},
                                                     {u"imgs", E::Other},
                                                     {u"scrip", E::Other},
                                                     {u"", E::Other},
                                                     {u"plaintexts", E::Other},
                                                     {u"\u0130mg", E::Other}};
  for (const auto& [name, element] : known) {
    EXPECT_EQ(HtmlVocabulary::ElementOf(name), element) << StringUtility::ToUtf8(name);
  }
}

TEST(ScanHtmlReferences, WorkedExampleDuplicateSite) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  // A cell's background is an image wherever its name has no "/".
  EXPECT_EQ(Scan(project, kWorkedExample),
            u"<a href=\"../about.html\">About</a><img src='img/a.gif'>"
            u"<a href=\"#top\">Top</a><td background=\"bg.gif\">"
            u"<div style=\"background:url(../css/bg.png)\">");
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/about.html", u"http://example.com/news/img/a.gif",
                     u"http://example.com/news/bg.gif", u"http://example.com/css/bg.png"}));
}

TEST(ScanHtmlReferences, WorkedExampleBrowsableCopyNumbersNames) {
  StubScanProject project(DownloadMode::BrowsableCopy, u"example.com");
  const std::u16string out = Scan(project, kWorkedExample, u"D:\\Sites\\example.com");
  EXPECT_NE(out.find(u"href=\"2.about.html\""), std::u16string::npos);
  EXPECT_NE(out.find(u"src='3.a.gif'"), std::u16string::npos);
  EXPECT_NE(out.find(u"background=\"4.bg.gif\""), std::u16string::npos);
  EXPECT_NE(out.find(u"url(5.bg.png)"), std::u16string::npos);
}

// A script, style sheet or image kept in the copy loses the site's integrity and
// CORS checks (its bytes may be rewritten, and file:// refuses CORS loads),
// wherever they stand in the tag; one left on the web keeps them.
TEST(ScanHtmlReferences, ChecksOfFilesKeptLocallyAreSetAside) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  project.refuse = u"cdn.other.org";
  EXPECT_EQ(Scan(project,
                 u"<link rel=stylesheet href=\"/css/site.css\" integrity=\"sha256-abc\" "
                 u"crossorigin=\"anonymous\"><script INTEGRITY='sha384-x' src=\"js/app.js\" "
                 u"crossorigin></script><script src=\"https://cdn.other.org/lib.js\" "
                 u"integrity=\"sha256-y\" crossorigin=\"anonymous\"></script>"
                 u"<img src=\"a.png\" crossorigin>"),
            u"<link rel=stylesheet href=\"../css/site.css\" data-kestrine-integrity=\"sha256-abc\" "
            u"data-kestrine-crossorigin=\"anonymous\"><script data-kestrine-integrity='sha384-x' "
            u"src=\"js/app.js\" data-kestrine-crossorigin></script>"
            u"<script src=\"https://cdn.other.org/lib.js\" integrity=\"sha256-y\" "
            u"crossorigin=\"anonymous\"></script><img src=\"a.png\" data-kestrine-crossorigin>");
}

TEST(ScanHtmlReferences, AttributesInEveryFormBrowsersRead) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  const std::u16string out =
      Scan(project,
           u"<A HREF=\"upper.html\"> <a href = \"spaced.html\"> <a href=bare.html>"
           u"<a\thref=\"tab.html\"> <a\nhref=\"line.html\"> <a Href='single.html'>"
           u"<a class=x href=/docs/intro>intro</a><link rel=stylesheet href=/assets/s.css />"
           u"<a href=\"q.html?a=1&amp;b=2\"> <a href=\"&#102;ile.html\"> <a href=\"x&quot;y.html\">"
           u"<img src=\"a b.png\"> <a href=\"\n  across\nlines.html  \">"
           u"<A title=\"<a href='not.html'>\" HREF=\"after.html\">");
  EXPECT_EQ(
      project.queued,
      (Strings{u"http://example.com/news/upper.html", u"http://example.com/news/spaced.html",
               u"http://example.com/news/bare.html", u"http://example.com/news/tab.html",
               u"http://example.com/news/line.html", u"http://example.com/news/single.html",
               u"http://example.com/docs/intro", u"http://example.com/assets/s.css",
               u"http://example.com/news/q.html?a=1&b=2", u"http://example.com/news/file.html",
               u"http://example.com/news/x%22y.html", u"http://example.com/news/a%20b.png",
               u"http://example.com/news/acrosslines.html",
               u"http://example.com/news/after.html"}));
  // Written back in each one's own quoting; what now needs quotes gets them.
  EXPECT_NE(out.find(u"<A HREF=\"upper.html\">"), std::u16string::npos) << ToUtf8(out);
  EXPECT_NE(out.find(u"<a href = \"spaced.html\">"), std::u16string::npos);
  EXPECT_NE(out.find(u"<a href=bare.html>"), std::u16string::npos);
  EXPECT_NE(out.find(u"<a Href='single.html'>"), std::u16string::npos);
  EXPECT_NE(out.find(u"<a class=x href=../docs/intro.html>"), std::u16string::npos);
  EXPECT_NE(out.find(u"href=../assets/s.css />"), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"q.htmla1-b2.html\""), std::u16string::npos) << ToUtf8(out);
  EXPECT_NE(out.find(u"title=\"<a href='not.html'>\""), std::u16string::npos);
}

TEST(ScanHtmlReferences, WhichAttributesOfWhichElementsAreReferences) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  Scan(project,
       u"<area href=a.html><iframe src=f.html></iframe><frame src=fr.html><embed src=e.swf>"
       u"<input type=image src=i.png><audio src=a.mp3></audio><video src=v.mp4 poster=p.jpg>"
       u"<track src=t.vtt></video><object data=o.svg></object><body background=b.png>"
       u"<table background=t.png><th background=h.png><img srcset=\"s1.png 1x, s2.png 2x\">"
       u"<link rel=preload as=image imagesrcset=\"l.png 100w\"><link rel=manifest href=m.json>"
       u"<link rel=preconnect href=\"https://fonts.example.net\">"
       // No relation, no link: an old mail address, microdata.
       u"<link rev=made href=\"docs@example.com\"><link itemprop=url href=no.html>"
       u"<link rel=\" \" href=no2.html>"
       u"<form action=post.cgi><input src=i2.png></form><div background=no.png>"
       u"<p src=no.png><a src=no.png><meta http-equiv=Refresh content=\"5; URL='late.html'\">");
  for (const char* file : {"a.html", "f.html", "fr.html", "e.swf", "i.png", "a.mp3", "v.mp4",
                           "p.jpg", "t.vtt", "o.svg", "b.png", "t.png", "h.png", "s1.png", "s2.png",
                           "l.png", "m.json", "i2.png", "late.html"}) {
    const std::u16string address = u"http://example.com/news/" + FromUtf8(file);
    EXPECT_NE(std::find(project.queued.begin(), project.queued.end(), address),
              project.queued.end())
        << file;
  }
  EXPECT_EQ(project.queued.size(), 19u) << ToUtf8(project.queued.back());
}

TEST(ScanHtmlReferences, SkippedReferencesStayExactly) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  const std::u16string page =
      u"x <a href=\"#top\"> <a href=\"JavaScript: void(0)\"> <a href=\"javascript:go()\">"
      u" <a href=\"\"> <a href=\"mailto:someone\"> <form action=\"send.php\">"
      u" <p>href=\"text.html\" url(text.png)</p> <!-- <a href=\"comment.html\"> -->"
      u" <script>var a = '<a href=\"script.html\">';</script>"
      u" <textarea><img src=\"area.png\"></textarea> <title><a href=t.html></title>";
  EXPECT_EQ(Scan(project, page), page);
  EXPECT_TRUE(project.queued.empty()) << ToUtf8(project.queued.front());
}

// A rendered page's scripts are stored inert, and still name what the page
// loads; a router's start-up script gives its page's route data as guesses.
TEST(ScanHtmlReferences, InertScriptsAndRouteDataAreRead) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  Scan(project,
       u"<script type=\"text/kestrine-inert\">import(\"./lazy.js\")</script>"
       u"<script>__sveltekit_x1 = {}; Docs.load(\"data.json\")</script>");
  EXPECT_EQ(project.queued, (Strings{u"http://example.com/news/lazy.js"}));
  EXPECT_EQ(project.guessed, (Strings{u"http://example.com/news/data.json",
                                      u"http://example.com/news/index.html__data.json",
                                      u"http://example.com/_app/version.json"}));
}

// rustdoc names its search and settings scripts only in its variables'
// attributes, from which each version builds them its own way. Nothing
// else's attributes, and no address of its own in them, count.
TEST(ScanHtmlReferences, RustdocVariablesNameTheSearchScripts) {
  const auto scripts = [](const std::u16string& page) {
    StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
    Scan(project, page);
    return project.queued;
  };
  EXPECT_EQ(scripts(u"<div id=\"rustdoc-vars\" data-root-path=\"../\" data-current-crate=\"std\" "
                    u"data-resource-suffix=\"1.63.0\" data-rustdoc-version=\"1.63.0\"></div>"),
            (Strings{u"http://example.com/search1.63.0.js", u"http://example.com/settings1.63.0.js",
                     u"http://example.com/search-index1.63.0.js"}));
  EXPECT_EQ(scripts(u"<div id=rustdoc-vars data-root-path=\"../\" data-resource-suffix=\"1.52.0\" "
                    u"data-search-js=\"../search1.52.0.js\" "
                    u"data-search-index-js=\"../search-index1.52.0.js\"></div>"),
            (Strings{u"http://example.com/search1.52.0.js", u"http://example.com/settings1.52.0.js",
                     u"http://example.com/search-index1.52.0.js"}));
  EXPECT_EQ(scripts(u"<div id=\"rustdoc-vars\" data-root-path=\"../\" "
                    u"data-static-root-path=\"/static.files/\" data-resource-suffix=\"\" "
                    u"data-search-js=\"search-8a59a8356673ec1f.js\" "
                    u"data-settings-js=\"settings-c38705f0.js\"></div>"),
            (Strings{u"http://example.com/static.files/search-8a59a8356673ec1f.js",
                     u"http://example.com/static.files/settings-c38705f0.js",
                     u"http://example.com/search-index.js"}));
  EXPECT_EQ(
      scripts(u"<meta name=\"rustdoc-vars\" data-root-path=\"../\" "
              u"data-static-root-path=\"../static.files/\" data-resource-suffix=\"\" "
              u"data-search-js=\"search-63369b7b.js\" data-stringdex-js=\"stringdex-b897f86f.js\" "
              u"data-settings-js=\"settings-170eb4bf.js\">"),
      (Strings{u"http://example.com/static.files/search-63369b7b.js",
               u"http://example.com/static.files/settings-170eb4bf.js",
               u"http://example.com/static.files/stringdex-b897f86f.js"}));
  EXPECT_TRUE(scripts(u"<div id=\"sidebar-vars\" data-root-path=\"../\" data-resource-suffix=\"1\" "
                      u"data-search-js=\"s.js\"></div><meta name=rustdoc-vars "
                      u"data-root-path=\"//evil.example/\" data-search-js=\"x.js\" a b><meta "
                      u"name=rustdoc-vars data-root-path=\"../\" data-search-js=\"x.js\" "
                      u"data-static-root-path=\"http://evil.example/\" a>")
                  .empty());
}

TEST(ScanHtmlReferences, RefreshTargetsInEveryForm) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  const std::u16string out = Scan(project,
                                  u"<meta content=\"0; url=next.html\" http-equiv=refresh>"
                                  u"<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"5;URL=later.html\">"
                                  u"<meta http-equiv=refresh content='3, url = \"quoted.html\"'>"
                                  u"<meta name=x content=\"0; url=not.html\">");
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/news/next.html", u"http://example.com/news/later.html",
                     u"http://example.com/news/quoted.html"}));
  EXPECT_NE(out.find(u"content=\"0; url=next.html\""), std::u16string::npos);
  EXPECT_NE(out.find(u"CONTENT=\"5;URL=later.html\""), std::u16string::npos);
}

// Only the first <base href> counts, as browsers read a page: a later one
// is left as it is, and a page of 200,000 of them, each relative to the one
// before, neither grows its base nor costs time beyond its length.
TEST(ScanHtmlReferences, TheFirstBaseMovesTheReferencesAfterItAndIsWrittenEmpty) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  const std::u16string out =
      Scan(project,
           u"<a href=\"before.html\"><base href=\"/docs/v2/\" target=_top>"
           u"<a href=\"after.html\"><img src=\"../img/x.png\"><a href=\"#here\">"
           u"<base href=\"/other/\"><a href=\"last.html\">");
  EXPECT_EQ(
      project.queued,
      (Strings{u"http://example.com/news/before.html", u"http://example.com/docs/v2/after.html",
               u"http://example.com/docs/img/x.png", u"http://example.com/docs/v2/last.html"}));
  EXPECT_NE(out.find(u"<base href=\"\" target=_top>"), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"../docs/v2/after.html\""), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"#here\""), std::u16string::npos);
  EXPECT_NE(out.find(u"<base href=\"/other/\">"), std::u16string::npos);

  StubScanProject run(DownloadMode::DuplicateSite, u"example.com");
  std::u16string bases;
  for (int i = 0; i < 200'000; ++i) bases += u"<base href=a/>";
  Scan(run, bases + u"<a href=p.html>");
  EXPECT_EQ(run.queued, (Strings{u"http://example.com/news/a/p.html"}));

  // A base longer than any address a crawl takes is none: written before
  // each reference left to the web, it made a 1 MB page 13 GB.
  StubScanProject longBase(DownloadMode::DuplicateSite, u"example.com");
  longBase.refuse = u"p.html";
  std::u16string page = u"<base href=\"/" + std::u16string(100'000, u'x') + u"/\">";
  for (int i = 0; i < 1000; ++i) page += u"<a href=p.html>";
  const std::u16string written = Scan(longBase, page);
  EXPECT_LT(written.size(), page.size() + 1000 * 32);
  EXPECT_NE(written.find(u"<a href=http://example.com/news/p.html>"), std::u16string::npos);
}

TEST(ScanHtmlReferences, StylesInAnyCaseAndSvgInsideAPage) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  const std::u16string out =
      Scan(project,
           u"<style>@IMPORT \"a.css\"; p{background:URL(b.png)} /* url(c.png) */</style>"
           u"<p style=\"background: Url( 'd.png' )\">"
           u"<svg><use xlink:href=\"icons.svg#star\"/><use href=\"#local\"/>"
           u"<image href=\"e.png\"/><![CDATA[<a href=\"cdata.html\">]]></svg>");
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/news/a.css", u"http://example.com/news/b.png",
                     u"http://example.com/news/d.png", u"http://example.com/news/icons.svg",
                     u"http://example.com/news/e.png"}));
  EXPECT_NE(out.find(u"xlink:href=\"icons.svg#star\""), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"#local\""), std::u16string::npos);
}

TEST(ScanHtmlReferences, SvgImagesReferByHrefFromAnyElement) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  std::u16string svg =
      u"<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\">"
      u"<style><![CDATA[ .a { fill: url(pattern.svg#p) } ]]></style>"
      u"<image xlink:href=\"photo.jpg\"/><linearGradient href=\"#g\"/></svg>";
  ScanHtmlReferences(project, svg, kPage, kRoot, kPageFolder, nullptr, MarkupKind::Svg);
  EXPECT_EQ(project.queued, (Strings{u"http://example.com/news/pattern.svg",
                                     u"http://example.com/news/photo.jpg"}));
}

TEST(ScanHtmlReferences, WrittenReferencesAreUrls) {
  StubScanProject project(DownloadMode::BrowsableCopy, u"example.com", 6);
  const std::u16string out = Scan(project, u"x <a href=\"my%20file.pdf\"> <a href=\"a b.pdf\">",
                                  u"D:\\Sites\\example.com");
  EXPECT_NE(out.find(u"href=\"7.my%2520file.pdf\""), std::u16string::npos);
  EXPECT_NE(out.find(u"href=\"8.a%2520b.pdf\""), std::u16string::npos);
}

TEST(ScanHtmlReferences, CancelOrPauseMidScanKeepsRewritesSoFar) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  // Checks: before pass 1, before reference 1, before reference 2 (stop).
  project.stopAfterChecks = 2;
  const std::u16string out =
      Scan(project, u"x <a href=\"../one.html\"> <a href=\"../two.html\"> <img src=\"i.gif\">");
  EXPECT_EQ(out, u"x <a href=\"../one.html\"> <a href=\"../two.html\"> <img src=\"i.gif\">");
  EXPECT_EQ(project.queued, (Strings{u"http://example.com/one.html"}));
}

TEST(ScanHtmlReferences, HostileTextNeitherCrashesNorHangs) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  std::u16string huge(2'000'000, u'a');
  huge += u" href=\"";  // no end delimiter
  huge += std::u16string(100'000, u'b');
  std::u16string nasty = u"x <a href=\"" + std::u16string(100'000, u'c') + u"\">";
  nasty += std::u16string(u"\0\x01\xD800\xDFFF <img src=\"\xD800.gif\">", 22);
  nasty += u" <p style=\"background:url(../../../../../etc/passwd)\"> <a href=\"..\\..\\..\\x\">";
  for (int i = 0; i < 2000; ++i) nasty += u"url(";
  EXPECT_EQ(Scan(project, huge), huge);
  const std::u16string out = Scan(project, nasty);
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out.find(u"\\"), std::u16string::npos);
  EXPECT_EQ(out.find(u"../../"), std::u16string::npos);
}

}  // namespace
}  // namespace kestrine
