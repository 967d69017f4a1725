// The page and style-sheet scanners over any text: no crash, the text is
// unchanged when nothing is rewritten, and every reference they write leads,
// from the page's folder, to a file under the download folder.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_input.h"
#include "runtime/fs/local_files.h"
#include "site/css/style_sheet_scanner.h"
#include "site/html/html_scanner.h"
#include "site/html/html_tokenizer.h"
#include "site/rewrite/reference_writer.h"
#include "support/stub_scan_project.h"

using namespace kestrine;

namespace {

// Leaves every reference as it stands.
class Keeper : public IReferenceRewriter {
 public:
  std::optional<std::u16string> Rewrite(const std::u16string&) override { return std::nullopt; }
};

// Writes what the real writer writes and checks where it leads.
class Checker : public IReferenceRewriter {
 public:
  Checker(IScanProject& project, const std::u16string& page)
      : writer_(project, page, u"/downloads", u"/downloads/example.com/news") {}
  std::optional<std::u16string> Rewrite(const std::u16string& reference) override {
    std::optional<std::u16string> written = writer_.Rewrite(reference);
    if (!written || WebSchemeLength(*written) > 0 || HasForeignScheme(*written)) return written;
    std::string path = StringUtility::ToUtf8(SplitFragment(*written).reference);
    const std::filesystem::path target =
        (std::filesystem::path("/downloads/example.com/news") / path).lexically_normal();
    KESTRINE_FUZZ_CHECK(target.string().rfind("/downloads/", 0) == 0);
    return written;
  }
  void SetBase(const std::u16string& href) override { writer_.SetBase(href); }

 private:
  ReferenceWriter writer_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string original =
      fuzz::Text(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::u16string page = u"http://example.com/news/index.html";
  {
    std::u16string text = original;
    Keeper keeper;
    RunHtmlPasses(text, keeper);
    RunStyleSheetPasses(text, keeper);
    KESTRINE_FUZZ_CHECK(text == original);
  }
  {
    // Tags come in order, each within the text, every range inside its tag.
    HtmlTokenizer tokenizer(original);
    HtmlTag tag;
    std::size_t last = 0;
    while (tokenizer.Next(tag)) {
      KESTRINE_FUZZ_CHECK(tag.begin >= last && tag.begin < tag.end && tag.end <= original.size());
      for (const HtmlAttribute& attribute : tag.attributes) {
        KESTRINE_FUZZ_CHECK(attribute.name.begin > tag.begin && attribute.name.end < tag.end);
        KESTRINE_FUZZ_CHECK(attribute.value.begin <= attribute.value.end &&
                            attribute.value.end < tag.end);
      }
      last = tag.end;
    }
  }
  for (DownloadMode mode : {DownloadMode::BrowsableCopy, DownloadMode::DuplicateSite}) {
    testing::StubScanProject project(mode, u"example.com");
    std::u16string html = original;
    Checker checker(project, page);
    RunHtmlPasses(html, checker);
    std::u16string css = original;
    RunStyleSheetPasses(css, checker);
    std::u16string scanned = original;
    ScanHtmlReferences(project, scanned, page, u"/downloads", u"/downloads/example.com/news");
  }
  return 0;
}
