#include "site/address/address.h"

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "site/address/local_name_safety.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrine {
namespace {

const std::u16string kRoot = u"D:\\Sites";
const std::u16string kSiteHost = u"example.com";

AddressParts PageParts() {
  return SplitAddress(NormalizeAddress(u"http://example.com/news/index.html"));
}

TEST(LastIndexOf, FindsLastOverlappingOccurrenceOrMinusOne) {
  EXPECT_EQ(LastIndexOf(u"a/b/c", u"/"), 3);
  EXPECT_EQ(LastIndexOf(u"aaa", u"aa"), 1);
  EXPECT_EQ(LastIndexOf(u"abc", u"/"), -1);
  EXPECT_EQ(LastIndexOf(u"", u"/"), -1);
}

TEST(NormalizeAddress, AddsDefaultDocumentOnlyWhereAFolderIsNamed) {
  EXPECT_EQ(NormalizeAddress(u"http://example.com"), u"example.com/index.html");
  EXPECT_EQ(NormalizeAddress(u"http://example.com/"), u"example.com//index.html");
  EXPECT_EQ(NormalizeAddress(u"http://example.com/a/b"), u"example.com/a/b");
  EXPECT_EQ(NormalizeAddress(u"https://example.org/a/x.css"), u"example.org/a/x.css");
  EXPECT_EQ(NormalizeAddress(u"HTTP://example.com/"), u"example.com//index.html");
  EXPECT_EQ(NormalizeAddress(u"ftp://example.org/a"), u"ftp://example.org/a");
}

struct SplitCase {
  std::u16string address, host, directory, baseName, extension;
};

TEST(SplitAddress, CutsHostDirectoryBaseNameAndExtension) {
  const std::vector<SplitCase> cases = {
      {u"http://example.com/news/index.html", u"example.com", u"news", u"index", u"html"},
      {u"http://example.com/", u"example.com", u"", u"index", u"html"},
      {u"http://example.com", u"example.com", u"", u"index", u"html"},
      {u"http://example.com/list.php?page=2&sort=name", u"example.com", u"", u"list",
       u"php?page=2&sort=name"},
      {u"http://example.com/app/page.ASP", u"example.com", u"app", u"page", u"ASP"},
      {u"http://example.com/download", u"example.com", u"", u"download", u""},
      {u"http://cdn.example.org/js/a.js", u"cdn.example.org", u"js", u"a", u"js"},
      {u"http://example.com/my%20file.pdf", u"example.com", u"", u"my%20file", u"pdf"},
      {u"http://example.com/a/b", u"example.com", u"a", u"b", u""},
      {u"http://example.com/.htaccess", u"example.com", u"", u".htaccess", u""},
      {u"https://example.org/a/x.css", u"example.org", u"a", u"x", u"css"},
      {u"http://example.com/news//index.html", u"example.com", u"news\\", u"index", u"html"},
  };
  for (const SplitCase& c : cases) {
    const AddressParts parts = SplitAddress(NormalizeAddress(c.address));
    const std::string label(c.address.begin(), c.address.end());
    EXPECT_EQ(parts.host, c.host) << label;
    EXPECT_EQ(parts.directory, c.directory) << label;
    EXPECT_EQ(parts.baseName, c.baseName) << label;
    EXPECT_EQ(parts.extension, c.extension) << label;
  }
}

TEST(CollapseDotSegments, RemovesSegmentsAsTheAddressStandardDoes) {
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"http://example.com/a/./b/../c.html", u"http://example.com/a/c.html"},
      {u"http://example.com/a/b/../../c", u"http://example.com/c"},
      {u"http://example.com/x.html", u"http://example.com/x.html"},
      // Nothing climbs above the root.
      {u"http://example.com/../../a.html", u"http://example.com/a.html"},
      // A final "." or ".." names a folder.
      {u"http://example.com/guide/..", u"http://example.com/"},
      {u"http://example.com/guide/.", u"http://example.com/guide/"},
      {u"http://example.com/a/b/../..", u"http://example.com/"},
      {u"http://example.com/a/%2E%2e/b/%2e/c", u"http://example.com/b/c"},
      // Only the path: a query keeps its dots.
      {u"http://example.com/a/../p?next=../x/./y", u"http://example.com/p?next=../x/./y"},
      {u"http://example.com/a/.hidden/..b", u"http://example.com/a/.hidden/..b"},
  };
  for (const auto& [address, collapsed] : cases) {
    EXPECT_EQ(CollapseDotSegments(address), collapsed) << StringUtility::ToUtf8(address);
  }
}

TEST(CollapseDotSegments, LongHostileChainEndsQuickly) {
  std::u16string address = u"http://example.com";
  for (int i = 0; i < 2000; ++i) address += u"/a";
  for (int i = 0; i < 2000; ++i) address += u"/..";
  address += u"/x";
  EXPECT_EQ(CollapseDotSegments(address), u"http://example.com/x");
}

TEST(ResolveReference, WorkedExamplesAgainstTheNewsPage) {
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"page2.html", u"http://example.com/news/page2.html"},
      {u"./page2.html", u"http://example.com/news/page2.html"},
      {u"../img/logo.gif", u"http://example.com/img/logo.gif"},
      {u"../../x.html", u"http://example.com/x.html"},
      {u"/css/site.css", u"http://example.com/css/site.css"},
      {u"//cdn.example.org/a.js", u"http://cdn.example.org/a.js"},
      {u"list.php?a=1&amp;b=2", u"http://example.com/news/list.php?a=1&b=2"},
      {u"https://example.org/", u"https://example.org/"},
      {u"HTTP://other.org/a", u"http://other.org/a"},
      {u"HTTPS://other.org/./b/../a", u"https://other.org/a"},
      {u"os.html#os.stat", u"http://example.com/news/os.html"},
      {u"", u"http://example.com/news/"},
      {u"..", u"http://example.com/"},
      {u".", u"http://example.com/news/"},
      {u"../..", u"http://example.com/"},
  };
  for (const auto& [reference, expected] : cases) {
    EXPECT_EQ(ResolveReference(reference, PageParts()), expected);
  }
}

TEST(ResolveReference, ReferencesTakeTheSchemeOfTheirPage) {
  const AddressParts page = SplitAbsolute(u"https://example.com/news/index.html");
  EXPECT_EQ(page.scheme, u"https");
  EXPECT_EQ(page.host, u"example.com");
  EXPECT_EQ(ResolveReference(u"a.html", page), u"https://example.com/news/a.html");
  EXPECT_EQ(ResolveReference(u"/a.html", page), u"https://example.com/a.html");
  EXPECT_EQ(ResolveReference(u"//cdn.org/a.js", page), u"https://cdn.org/a.js");
  EXPECT_EQ(ResolveReference(u"http://x.org/", page), u"http://x.org/");
  EXPECT_EQ(CollapseDotSegments(u"https://example.com/../../a.html"),
            u"https://example.com/a.html");
}

TEST(HasForeignScheme, EverySchemeButTheWebsOwn) {
  for (const char16_t* reference :
       {u"mailto:a@b", u"tel:+123", u"ftp://h/x", u"file:///etc/passwd", u"data:image/png;base64,",
        u"javascript:go()", u"about:blank", u"blob:https://h/1", u"c:\\x", u"x-y.z+w:q"}) {
    EXPECT_TRUE(HasForeignScheme(reference)) << std::string(reference, reference + 3);
  }
  for (const char16_t* reference : {u"http://h/", u"HTTPS://h/", u"a.html", u"/a:b", u"a/b:c",
                                    u"1a:b", u":x", u"?q=a:b", u"#a:b"}) {
    EXPECT_FALSE(HasForeignScheme(reference)) << std::string(reference, reference + 3);
  }
}

TEST(SitePrefix, HttpAndHttpsOfOneHostAreOneSite) {
  EXPECT_TRUE(IsUnderSitePrefix(u"https://h/docs/a.html", u"http://h/docs"));
  EXPECT_TRUE(IsUnderSitePrefix(u"HTTP://h/docs/a.html", u"https://h/docs"));
  EXPECT_FALSE(IsUnderSitePrefix(u"https://h/other/a.html", u"http://h/docs"));
  EXPECT_EQ(SiteHostOf(SitePrefixOf(u"https://h:8443/docs/index.html")), u"h:8443");
}

TEST(LocalFileNameFor, StyleSheetsAndScriptsKeepTheirExtensionWhateverTheQuery) {
  const auto name = [](const std::u16string& address,
                       DownloadMode mode = DownloadMode::DuplicateSite) {
    return LocalFileNameFor(mode, SplitAbsolute(address), 7);
  };
  EXPECT_EQ(name(u"http://h/_static/pydoctheme.css?2022.1"), u"pydoctheme-2022.1.css");
  EXPECT_EQ(name(u"http://h/a.css?v=12345"), u"a-v12345.css");
  EXPECT_EQ(name(u"http://h/app.JS?x=1&y=2"), u"app-x1-y2.js");
  EXPECT_EQ(name(u"http://h/m.mjs?"), u"m.mjs");
  EXPECT_EQ(name(u"http://h/a.css?v=1", DownloadMode::BrowsableCopy), u"7.a-v1.css");
  // Other types keep the long-extension rule.
  EXPECT_EQ(name(u"http://h/list.php?page=2&sort=name"), u"list.phppage2-sortname.html");
}

TEST(LocalPaths, AnAddressWithoutAHostCannotClimbOutOfTheDownloadFolder) {
  // Found by the address-chain fuzzer: a page address without a host makes
  // a relative reference's host "/../.-", slashes and dots and all.
  const AddressParts page = SplitAbsolute(u"h\x02");
  const AddressParts target = SplitAbsolute(ResolveReference(u"..\\..\\.-\\x.html", page));
  for (DownloadMode mode :
       {DownloadMode::BrowsableCopy, DownloadMode::DuplicateSite, DownloadMode::RetrieveFiles}) {
    const std::string path = NativePath(LocalFilePath(
        LocalFolderFor(mode, u"", target, u"/downloads"), LocalFileNameFor(mode, target, 1)));
    EXPECT_EQ(path.rfind("/downloads/", 0), 0u) << path;
    EXPECT_EQ(path.find("/../"), std::string::npos) << path;
    EXPECT_EQ(path.find("//"), std::string::npos) << path;
  }
}

TEST(SafeFolderName, LongFolderComponentsAreShortened) {
  const std::u16string longPart(300, u'd');
  const std::u16string folder =
      LocalFolderFor(DownloadMode::DuplicateSite, u"h",
                     SplitAbsolute(u"http://h/" + longPart + u"/x.html"), u"/out");
  for (const auto& part : StringUtility::SplitViews(folder, u'\\')) {
    EXPECT_LE(StringUtility::ToUtf8(part).size(), kMaxFileNameBytes);
  }
  EXPECT_NE(folder, LocalFolderFor(DownloadMode::DuplicateSite, u"h",
                                   SplitAbsolute(u"http://h/" + longPart + u"e/x.html"), u"/out"));
}

TEST(ResolveReference, RelativeReferenceOnEmptyDirectoryFoldsDoubleSlash) {
  const AddressParts top = SplitAddress(NormalizeAddress(u"http://example.com/"));
  EXPECT_EQ(ResolveReference(u"x", top), u"http://example.com/x");
}

struct NamingCase {
  std::u16string address, mode1File, mode0File;
};

TEST(LocalPaths, WorkedExamplesInBothModes) {
  const std::vector<NamingCase> cases = {
      {u"http://example.com/news/index.html", u"D:\\Sites\\example.com\\news\\index.html",
       u"D:\\Sites\\example.com\\7.index.html"},
      {u"http://example.com/", u"D:\\Sites\\example.com\\index.html",
       u"D:\\Sites\\example.com\\7.index.html"},
      {u"http://example.com/list.php?page=2&sort=name",
       u"D:\\Sites\\example.com\\list.phppage2-sortname.html",
       u"D:\\Sites\\example.com\\7.list.phppage2-sortname.html"},
      {u"http://example.com/app/page.ASP", u"D:\\Sites\\example.com\\app\\page.html",
       u"D:\\Sites\\example.com\\7.page.html"},
      {u"http://example.com/download", u"D:\\Sites\\example.com\\download.html",
       u"D:\\Sites\\example.com\\7.download.html"},
      {u"http://cdn.example.org/js/a.js", u"D:\\Sites\\example.com\\cdn.example.org\\js\\a.js",
       u"D:\\Sites\\example.com\\7.a.js"},
      {u"http://example.com/my%20file.pdf", u"D:\\Sites\\example.com\\myfile.pdf",
       u"D:\\Sites\\example.com\\7.my%20file.pdf"},
  };
  for (const NamingCase& c : cases) {
    const AddressParts parts = SplitAddress(NormalizeAddress(c.address));
    for (DownloadMode mode : {DownloadMode::DuplicateSite, DownloadMode::BrowsableCopy}) {
      const std::u16string path = LocalFilePath(LocalFolderFor(mode, kSiteHost, parts, kRoot),
                                                LocalFileNameFor(mode, parts, 7));
      EXPECT_EQ(path, mode == DownloadMode::DuplicateSite ? c.mode1File : c.mode0File);
    }
  }
}

TEST(LocalFileNameFor, ExtensionRules) {
  auto name = [](const std::u16string& address) {
    return LocalFileNameFor(DownloadMode::DuplicateSite, SplitAddress(NormalizeAddress(address)),
                            1);
  };
  EXPECT_EQ(name(u"http://example.com/.htaccess"), u".htaccess.html");
  EXPECT_EQ(name(u"http://example.com/a/b"), u"b.html");
  EXPECT_EQ(name(u"http://example.com/p.jpeg"), u"p.jpeg");
  // A long ending of a file's own stays; one after a page's name is a
  // query and the name is a page's.
  EXPECT_EQ(name(u"http://example.com/font.woff2"), u"font.woff2");
  EXPECT_EQ(name(u"http://example.com/site.webmanifest"), u"site.webmanifest");
  EXPECT_EQ(name(u"http://example.com/p/x.pf_index"), u"x.pf_index");
  EXPECT_EQ(name(u"http://example.com/list.php?page=2&sort=name"), u"list.phppage2-sortname.html");
  EXPECT_EQ(name(u"http://example.com/search.action"), u"search.action.html");
  EXPECT_EQ(name(u"http://example.com/a.php"), u"a.html");
  EXPECT_EQ(name(u"http://example.com/a.PHP"), u"a.html");
  EXPECT_EQ(name(u"http://example.com/a.Jsp"), u"a.html");
  EXPECT_EQ(name(u"http://example.com/a.aspx"), u"a.aspx");
  EXPECT_EQ(name(u"http://example.com/a&amp;b.gif"), u"a-b.gif");
  EXPECT_EQ(name(u"http://example.com/a?b.gif"), u"ab.gif");
  EXPECT_EQ(LocalFileNameFor(DownloadMode::RetrieveFiles,
                             SplitAddress(NormalizeAddress(u"http://h/a%20b%.gif")), 1),
            u"ab.gif");
}

TEST(LocalFileNameForType, EachFileKeepsWhatABrowserReadingFromDiskNeeds) {
  struct Case {
    std::u16string name;
    std::u16string pathExtension;
    std::u16string type;
    std::optional<std::u16string> typed;
  };
  const Case cases[] = {
      {u"font.woff2", u"woff2", u"font/woff2", std::nullopt},
      {u"page.do", u"do", u"text/html; charset=utf-8", u"page.do.html"},
      {u"index.html", u"html", u"text/html", std::nullopt},
      {u"7.about.htm", u"htm", u"TEXT/HTML", std::nullopt},
      {u"unknown.xyzzy", u"xyzzy", u"application/xhtml+xml", u"unknown.xyzzy.html"},
      {u"download.html", u"", u"application/pdf", u"download"},
      {u"image.phpid3.html", u"php", u"image/png", u"image.phpid3"},
      {u"style.html", u"php", u"text/css", u"style.css"},
      {u"app.js", u"js", u"application/javascript", std::nullopt},
      {u"chunk.mjs", u"mjs", u"text/javascript", std::nullopt},
      {u"loader.html", u"", u"text/javascript", u"loader.js"},
      {u"logo.html", u"php", u"image/svg+xml", u"logo.svg"},
      {u"real.html", u"html", u"text/plain", std::nullopt},
      {u"data.json", u"json", u"application/json", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocalFileNameForType(c.name, c.pathExtension, c.type), c.typed)
        << StringUtility::ToUtf8(c.name) << " " << StringUtility::ToUtf8(c.type);
  }
  EXPECT_EQ(PathExtensionOf(u"http://h/a/b.PHP?x=1.2/3"), u"php");
  EXPECT_EQ(PathExtensionOf(u"http://h/a.b/c"), u"");
}

TEST(LocalFolderFor, ModesAndCharacterReplacement) {
  const AddressParts other = SplitAddress(NormalizeAddress(u"http://example.com:81/a?b/c.gif"));
  EXPECT_EQ(LocalFolderFor(DownloadMode::DuplicateSite, kSiteHost, other, kRoot),
            u"D:\\Sites\\example.com\\example.com-81\\a-b");
  EXPECT_EQ(LocalFolderFor(DownloadMode::BrowsableCopy, kSiteHost, other, kRoot),
            u"D:\\Sites\\example.com");
  EXPECT_EQ(LocalFolderFor(DownloadMode::RetrieveFiles, kSiteHost, other, kRoot),
            u"D:\\Sites\\example.com");
  const AddressParts top = SplitAddress(NormalizeAddress(u"http://example.com/"));
  EXPECT_EQ(LocalFolderFor(DownloadMode::DuplicateSite, kSiteHost, top, kRoot),
            u"D:\\Sites\\example.com\\");
  // The site folder of a host with a port is named the same way in every mode.
  EXPECT_EQ(LocalFolderFor(DownloadMode::BrowsableCopy, u"127.0.0.1:8080", top, kRoot),
            u"D:\\Sites\\127.0.0.1-8080");
  EXPECT_EQ(SiteFolderName(u"127.0.0.1:8080"), u"127.0.0.1-8080");
}

TEST(LocalPaths, HostileAddressesStayInsideTheDownloadFolder) {
  const std::vector<std::u16string> hostile = {
      u"http://other.host/../../../../x.sh",
      u"http://example.com/a/..%2f..%2fx",
      u"http://..\\..\\..\\etc/passwd",
      u"http://../x",
      u"http://example.com/a\\..\\..\\b\\..\\x.sh",
      u"http://./../..",
  };
  for (const std::u16string& reference : hostile) {
    const std::u16string address = ResolveReference(reference, PageParts());
    const AddressParts parts = SplitAddress(NormalizeAddress(address));
    for (DownloadMode mode :
         {DownloadMode::BrowsableCopy, DownloadMode::DuplicateSite, DownloadMode::RetrieveFiles}) {
      const std::u16string folder = LocalFolderFor(mode, kSiteHost, parts, kRoot);
      const std::u16string name = LocalFileNameFor(mode, parts, 3);
      const std::u16string path = LocalFilePath(folder, name);
      const std::string label(address.begin(), address.end());
      EXPECT_EQ(path.rfind(kRoot + u"\\", 0), 0u) << label;
      EXPECT_EQ(name.find_first_of(u"\\/"), std::u16string::npos) << label;
      EXPECT_NE(name, u".");
      EXPECT_NE(name, u"..");
      for (const auto& part : {u"\\..\\", u"\\.\\"}) {
        EXPECT_EQ((path + u"\\").find(part), std::u16string::npos) << label;
      }
    }
  }
}

TEST(RelativeLocalReference, WorkedExamplesAndEdges) {
  const std::u16string from = u"D:\\Sites\\example.com\\news";
  EXPECT_EQ(RelativeLocalReference(from, u"D:\\Sites\\example.com\\img\\logo.gif"),
            u"..\\img\\logo.gif");
  EXPECT_EQ(RelativeLocalReference(from, u"D:\\Sites\\example.com\\news\\page2.html"),
            u"page2.html");
  EXPECT_EQ(RelativeLocalReference(from, u"D:\\Sites\\example.com\\cdn.example.org\\js\\a.js"),
            u"..\\cdn.example.org\\js\\a.js");
  EXPECT_EQ(RelativeLocalReference(u"D:\\Sites\\example.com", u"D:\\Sites\\example.com\\a\\b.html"),
            u"a\\b.html");
  EXPECT_EQ(
      RelativeLocalReference(u"D:\\Sites\\example.com\\x\\y", u"D:\\Sites\\example.com\\b.html"),
      u"..\\..\\b.html");
  // A page at the top of its host folder has a folder with a closing "\".
  EXPECT_EQ(RelativeLocalReference(u"D:\\Sites\\example.com\\", u"D:\\Sites\\example.com\\a.html"),
            u"a.html");
}

TEST(SitePrefix, PrefixAndHostOfTheStartAddress) {
  EXPECT_EQ(SitePrefixOf(u"http://example.com"), u"http://example.com");
  EXPECT_EQ(SitePrefixOf(u"http://example.com/"), u"http://example.com");
  EXPECT_EQ(SitePrefixOf(u"http://example.com/news/index.html"), u"http://example.com/news");
  EXPECT_EQ(SitePrefixOf(u"example"), u"");
  EXPECT_EQ(SiteHostOf(u"http://example.com/news"), u"example.com");
  EXPECT_EQ(SiteHostOf(u"http://example.com"), u"example.com");
  EXPECT_EQ(SiteHostOf(u"http://127.0.0.1:8080"), u"127.0.0.1:8080");
}

}  // namespace
}  // namespace kestrine
