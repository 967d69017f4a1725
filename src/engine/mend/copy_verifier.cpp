#include "engine/mend/copy_verifier.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string_view>
#include <unordered_map>

#include "encoding/charset_sniffer.h"
#include "engine/journal/document_records.h"
#include "engine/journal/project_journal.h"
#include "engine/queue/recorded_local_file.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "runtime/threads/work_shares.h"
#include "site/address/address.h"
#include "site/css/style_sheet_scanner.h"
#include "site/html/html_scanner.h"

namespace kestrine {

namespace {

namespace fs = std::filesystem;

// Looks at each reference a scan finds and leaves the text as it is. Most
// references of a site are the same few, written from the same few
// folders, so each is looked for once per folder.
class Inspector : public IReferenceRewriter {
 public:
  explicit Inspector(CopyVerifier::Report& report) : report_(report) {}

  void SetDocument(const std::string& document) {
    document_ = document;
    const std::size_t slash = document.rfind('/');
    folder_ = slash == std::string::npos ? std::string(".") : document.substr(0, slash);
  }

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
    if (!local.empty() && local[0] != '/' && Exists(local)) {
      ++report_.resolved;
    } else {
      report_.dead.push_back({document_, StringUtility::ToUtf8(reference)});
    }
    return std::nullopt;
  }

 private:
  bool Exists(const std::string& local) {
    std::string key = folder_ + '\n' + local;
    const auto known = exists_.find(key);
    if (known != exists_.end()) return known->second;
    std::error_code error;
    const bool found = fs::exists((fs::path(folder_) / local).lexically_normal(), error);
    exists_.emplace(std::move(key), found);
    return found;
  }

  CopyVerifier::Report& report_;
  std::string document_;
  std::string folder_;
  std::unordered_map<std::string, bool> exists_;
};

struct Document {
  std::string path;          // as shown
  std::u16string localFile;  // relative to the site folder
  DocumentRecords::Kind kind = DocumentRecords::Kind::Page;
};

void VerifyDocument(const Document& document, const ConfinedFolder& siteFiles, Inspector& inspector,
                    CopyVerifier::Report& report) {
  const Result<std::string> bytes = siteFiles.Read(document.localFile);
  if (!bytes) return;
  ++report.documents;
  const bool styleSheet = document.kind == DocumentRecords::Kind::StyleSheet;
  std::u16string text =
      CharsetSniffer::Decode(*bytes, "", styleSheet ? BodyKind::StyleSheet : BodyKind::Page).text;
  inspector.SetDocument(document.path);
  if (styleSheet) {
    RunStyleSheetPasses(text, inspector);
  } else {
    RunHtmlPasses(text, inspector,
                  document.kind == DocumentRecords::Kind::Svg ? MarkupKind::Svg : MarkupKind::Html);
  }
}

// The documents in contiguous shares, one thread each, so the dead
// references come out in the documents' order.
CopyVerifier::Report VerifyAll(const ConfinedFolder& siteFiles, std::size_t count,
                               const std::function<Document(std::size_t)>& documentAt) {
  const std::size_t shares = WorkShares::CountFor(count, 64);
  std::vector<CopyVerifier::Report> reports(shares);
  WorkShares::Run(count, shares, [&](std::size_t share, std::size_t begin, std::size_t end) {
    Inspector inspector(reports[share]);
    for (std::size_t i = begin; i < end; ++i) {
      VerifyDocument(documentAt(i), siteFiles, inspector, reports[share]);
    }
  });
  CopyVerifier::Report report;
  for (CopyVerifier::Report& part : reports) {
    report.documents += part.documents;
    report.resolved += part.resolved;
    report.live += part.live;
    report.dead.insert(report.dead.end(), std::make_move_iterator(part.dead.begin()),
                       std::make_move_iterator(part.dead.end()));
  }
  return report;
}

// Each address's local file as the journal has it, checked against the
// naming rules, in one buffer: a large copy has a million of them.
class JournalLocalFiles {
 public:
  void Set(std::size_t number, const std::u16string& path) {
    if (spans_.size() <= number) spans_.resize(number + 1, {0, 0});
    spans_[number] = {text_.size(), path.size()};
    text_ += path;
  }
  std::u16string_view Get(std::size_t number) const {
    if (number >= spans_.size()) return {};
    return std::u16string_view(text_).substr(spans_[number].first, spans_[number].second);
  }
  std::size_t size() const { return spans_.size(); }

 private:
  std::u16string text_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;
};

// The pages and style sheets a journal says were rewritten, and the local
// file of every entry, streamed from the journal.
class JournalReader {
 public:
  void Apply(const std::vector<std::string>& fields) {
    using Kind = ProjectJournal::RecordKind;
    const std::optional<Kind> kind = ProjectJournal::KindOf(fields);
    if (kind == Kind::Project && (fields.size() == 4 || fields.size() == 5)) {
      mode_ = static_cast<DownloadMode>(std::strtol(fields[1].c_str(), nullptr, 10));
      siteHost_ = StringUtility::FromUtf8(fields[3]);
      withSiteFolder_ = fields.size() == 4;
    } else if (kind == Kind::Queued && fields.size() == 5) {
      const auto number = std::strtoul(fields[1].c_str(), nullptr, 10);
      if (number > localFiles_.size() + ProjectJournal::kMaxNumberGap) return;
      const std::u16string recorded =
          ProjectJournal::SiteRelative(StringUtility::FromUtf8(fields[4]), withSiteFolder_);
      const std::u16string address = StringUtility::FromUtf8(fields[3]);
      const int taskNumber = static_cast<int>(number) + 1;
      const bool trusted = RecordedLocalFile::CouldBeNamed(
          recorded, RecordedLocalFile::NamesFor(mode_, siteHost_, address, taskNumber));
      localFiles_.Set(
          number,
          trusted ? recorded
                  : RecordedLocalFile::RuleNameOf(mode_, siteHost_, address, taskNumber).Path());
    } else if (kind == Kind::Document && fields.size() >= 4) {
      const auto number = static_cast<std::int32_t>(std::strtol(fields[1].c_str(), nullptr, 10));
      const long documentKind = std::strtol(fields[2].c_str(), nullptr, 10);
      if (number >= 0 && documentKind >= 0 && documentKind <= 2) {
        rewritten_.push_back({number, static_cast<DocumentRecords::Kind>(documentKind)});
      }
    }
  }

  struct Rewritten {
    std::int32_t number;
    DocumentRecords::Kind kind;
    bool operator<(const Rewritten& other) const { return number < other.number; }
    bool operator==(const Rewritten& other) const { return number == other.number; }
  };
  // Each rewritten document once, with a local file.
  std::vector<Rewritten> Documents() {
    std::stable_sort(rewritten_.begin(), rewritten_.end());
    rewritten_.erase(std::unique(rewritten_.begin(), rewritten_.end()), rewritten_.end());
    rewritten_.erase(std::remove_if(rewritten_.begin(), rewritten_.end(),
                                    [&](const Rewritten& document) {
                                      return LocalFileOf(document.number).empty();
                                    }),
                     rewritten_.end());
    return std::move(rewritten_);
  }
  std::u16string_view LocalFileOf(std::int32_t number) const {
    return localFiles_.Get(static_cast<std::size_t>(number));
  }

 private:
  DownloadMode mode_ = DownloadMode::BrowsableCopy;
  std::u16string siteHost_;
  bool withSiteFolder_ = true;
  JournalLocalFiles localFiles_;
  std::vector<Rewritten> rewritten_;
};

}  // namespace

std::string CopyVerifier::Report::Summary() const {
  return StringUtility::WithThousands(documents) +
         " pages and style sheets: " + StringUtility::WithThousands(resolved) +
         " references to stored files, " + StringUtility::WithThousands(live) + " to the web, " +
         StringUtility::WithThousands(static_cast<int>(dead.size())) + " dead";
}

CopyVerifier::Report CopyVerifier::Verify(const std::u16string& siteFolder) {
  const ConfinedFolder siteFiles = ConfinedFolder::Open(siteFolder, ConfinedFolder::Create::No);
  const std::string shownFolder = NativePath(siteFolder);
  // The journal names the pages and style sheets that were rewritten; pages
  // stored as received (from other sites) keep links that were never meant
  // to work offline, so they are not checked.
  if (const UniqueFd journal = ProjectJournal::OpenForReading(siteFolder)) {
    JournalReader reader;
    ProjectJournal::ForEachRecord(
        journal.get(), [&](const std::vector<std::string>& fields) { reader.Apply(fields); });
    const auto rewritten = reader.Documents();
    return VerifyAll(siteFiles, rewritten.size(), [&](std::size_t i) {
      const std::u16string localFile(reader.LocalFileOf(rewritten[i].number));
      return Document{shownFolder + "/" + NativePath(localFile), localFile, rewritten[i].kind};
    });
  }
  std::vector<Document> documents;
  std::error_code error;
  const fs::path root(shownFolder);
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::string extension = StringUtility::ToLowerAscii(it->path().extension().string());
    if (extension != ".html" && extension != ".htm" && extension != ".css") continue;
    std::u16string relative = StringUtility::FromUtf8(it->path().lexically_relative(root).string());
    for (char16_t& c : relative) {
      if (c == u'/') c = u'\\';
    }
    documents.push_back(
        {it->path().string(), std::move(relative),
         extension == ".css" ? DocumentRecords::Kind::StyleSheet : DocumentRecords::Kind::Page});
  }
  return VerifyAll(siteFiles, documents.size(), [&](std::size_t i) { return documents[i]; });
}

}  // namespace kestrine
