#include "site/css/style_sheet_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/stub_scan_project.h"

namespace kestrine {
namespace {

using testing::StubScanProject;
using Strings = std::vector<std::u16string>;

const std::u16string kSheet = u"http://example.com/css/site.css";
const std::u16string kRoot = u"D:\\Sites";
const std::u16string kSheetFolder = u"D:\\Sites\\example.com\\css";

std::u16string Scan(StubScanProject& project, std::u16string text,
                    const std::u16string& address = kSheet) {
  ScanStyleSheetReferences(project, text, address, kRoot, kSheetFolder);
  return text;
}

TEST(ScanStyleSheetReferences, WorkedExample) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  EXPECT_EQ(
      Scan(project, u"body{background:url(../img/bg.png)} @font-face{src:url(\"fonts/a.woff\")}"),
      u"body{background:url(../img/bg.png)} @font-face{src:url(fonts/a.woff)}");
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/img/bg.png", u"http://example.com/css/fonts/a.woff"}));
}

TEST(ScanStyleSheetReferences, TakesAddressesAndLeavesDataFragmentsAndSchemes) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  const std::u16string out =
      Scan(project,
           u"a{b:url( 'a.png' )} c{d:url(data:image/png;base64,AAAA)} e{f:url(#clip)}"
           u" @import \"x.css\"; @import url(y.css); g{h:URL(up.png)}");
  // In the order the sheet names them, "URL(" in any letter case.
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/css/a.png", u"http://example.com/css/x.css",
                     u"http://example.com/css/y.css", u"http://example.com/css/up.png"}));
  // CSS ignores the blanks around an address; the written one has none.
  EXPECT_NE(out.find(u"url(a.png)"), std::u16string::npos);
  EXPECT_NE(out.find(u"url(data:image/png;base64,AAAA)"), std::u16string::npos);
  EXPECT_NE(out.find(u"url(#clip)"), std::u16string::npos);
  EXPECT_NE(out.find(u"@import \"x.css\""), std::u16string::npos);
  EXPECT_NE(out.find(u"URL(up.png)"), std::u16string::npos);
}

TEST(ScanStyleSheetReferences, ReadsAsCssDoesFromTheFirstCharacterAndOtherHostsResolveThere) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  const std::u16string text =
      u"url(a.png) /* url(comment.png) */ p::after{content:\"url(string.png)\"}"
      u" x{y:surl(no.png)} @import 'b.css';";
  EXPECT_EQ(Scan(project, text), text);
  EXPECT_EQ(project.queued,
            (Strings{u"http://example.com/css/a.png", u"http://example.com/css/b.css"}));

  Scan(project, u" url(img/x.png)", u"http://cdn.example.org/s/t.css");
  EXPECT_EQ(project.queued.back(), u"http://cdn.example.org/s/img/x.png");
}

TEST(ScanStyleSheetReferences, AnAddressCssWouldMisreadIsWrittenInQuotes) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  project.refuse = u"refused";
  EXPECT_EQ(Scan(project, u"a{b:url(\"refused (1).png\")}"),
            u"a{b:url(\"http://example.com/css/refused (1).png\")}");
}

TEST(ScanStyleSheetReferences, StopRequestedKeepsTheRewritesSoFar) {
  StubScanProject project(DownloadMode::DuplicateSite, u"example.com");
  project.stopAfterChecks = 2;  // start, first reference, then stop
  const std::u16string out = Scan(project, u" url(\"one.png\") url(\"two.png\")");
  EXPECT_EQ(out, u" url(one.png) url(\"two.png\")");
}

}  // namespace
}  // namespace kestrine
