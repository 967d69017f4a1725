#include "engine/copy_verifier.h"

#include <cstdlib>
#include <filesystem>
#include <set>

#include "engine/address_queue.h"
#include "engine/project_journal.h"
#include "runtime/charset_sniffer.h"
#include "runtime/local_files.h"
#include "runtime/string_utility.h"
#include "site/address.h"
#include "site/html_scanner.h"
#include "site/style_sheet_scanner.h"

namespace kestrine {

namespace {

namespace fs = std::filesystem;

// Looks at each reference a scan finds and leaves the text as it is.
class Inspector : public IReferenceRewriter {
 public:
  Inspector(const fs::path& document, CopyVerifier::Report& report)
      : document_(document), report_(report) {}

  std::optional<std::u16string> Rewrite(const std::u16string& reference) override {
    if (HasForeignScheme(reference)) return std::nullopt;
    if (WebSchemeLength(reference) > 0 || StringUtility::StartsWith(reference, u"//")) {
      ++report_.live;
      return std::nullopt;
    }
    const std::u16string path = SplitFragment(reference).reference;
    if (path.empty()) return std::nullopt;
    std::string local = StringUtility::ToUtf8(path);
    local = StringUtility::PercentDecoded(local.substr(0, local.find('?')));
    std::error_code error;
    const fs::path target = (document_.parent_path() / local).lexically_normal();
    if (!local.empty() && local[0] != '/' && fs::exists(target, error)) {
      ++report_.resolved;
    } else {
      report_.dead.push_back({document_.string(), StringUtility::ToUtf8(reference)});
    }
    return std::nullopt;
  }

 private:
  const fs::path document_;
  CopyVerifier::Report& report_;
};

void VerifyDocument(const fs::path& file, bool styleSheet, CopyVerifier::Report& report) {
  const std::optional<std::string> bytes = ReadLocalFile(StringUtility::FromUtf8(file.string()));
  if (!bytes) return;
  ++report.documents;
  std::u16string text =
      CharsetSniffer::Decode(*bytes, "", styleSheet ? BodyKind::StyleSheet : BodyKind::Page).text;
  Inspector inspector(file, report);
  if (styleSheet) {
    RunStyleSheetPasses(text, inspector);
  } else {
    RunHtmlPasses(text, inspector);
  }
}

}  // namespace

std::string CopyVerifier::Report::Summary() const {
  return StringUtility::WithThousands(documents) +
         " pages and style sheets: " + StringUtility::WithThousands(resolved) +
         " references to stored files, " + StringUtility::WithThousands(live) + " to the web, " +
         StringUtility::WithThousands(static_cast<int>(dead.size())) + " dead";
}

CopyVerifier::Report CopyVerifier::Verify(const std::u16string& siteFolder) {
  Report report;
  // The journal names the pages and style sheets that were rewritten; pages
  // stored as received (from other sites) keep links that were never meant
  // to work offline, so they are not checked.
  const std::u16string journal = siteFolder + u"\\" + AddressQueue::kJournalFileName;
  if (LocalFileSize(journal) >= 0) {
    // Only each address's local file and the numbers of the rewritten
    // documents are needed, however large the site.
    std::vector<std::string> localFiles;
    std::set<std::int32_t> documents;
    ProjectJournal::ForEachRecord(journal, [&](const std::vector<std::string>& fields) {
      if (fields[0] == "Q" && fields.size() == 5) {
        const auto number = static_cast<std::size_t>(std::strtoul(fields[1].c_str(), nullptr, 10));
        if (number > localFiles.size() + 1000000) return;
        if (localFiles.size() <= number) localFiles.resize(number + 1);
        localFiles[number] = fields[4];
      } else if (fields[0] == "D" && fields.size() >= 4 && fields[2] == "0") {
        documents.insert(static_cast<std::int32_t>(std::strtol(fields[1].c_str(), nullptr, 10)));
      } else if (fields[0] == "D" && fields.size() >= 4) {
        documents.insert(-1 -
                         static_cast<std::int32_t>(std::strtol(fields[1].c_str(), nullptr, 10)));
      }
    });
    const fs::path downloadFolder = fs::path(NativePath(siteFolder)).parent_path();
    for (std::int32_t encoded : documents) {
      // Style sheets are kept as -1 - number, pages as their number.
      const bool styleSheet = encoded < 0;
      const auto number = static_cast<std::size_t>(styleSheet ? -1 - encoded : encoded);
      if (number >= localFiles.size() || localFiles[number].empty()) continue;
      std::string local = localFiles[number];
      for (char& c : local) {
        if (c == '\\') c = '/';
      }
      VerifyDocument(downloadFolder / local, styleSheet, report);
    }
    return report;
  }
  std::error_code error;
  const fs::path root(NativePath(siteFolder));
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::string extension = StringUtility::ToLowerAscii(it->path().extension().string());
    if (extension == ".html" || extension == ".htm") VerifyDocument(it->path(), false, report);
    if (extension == ".css") VerifyDocument(it->path(), true, report);
  }
  return report;
}

}  // namespace kestrine
