#include "engine/mend/reference_mender.h"

#include <algorithm>
#include <set>

#include "encoding/charset_transfer_util.h"
#include "engine/journal/document_records.h"
#include "engine/journal/project_journal.h"
#include "engine/mend/unstored_reference_relinker.h"
#include "engine/queue/address_queue.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/threads/work_shares.h"
#include "site/css/style_sheet_scanner.h"
#include "site/html/html_scanner.h"

namespace kestrine {

namespace {

std::vector<std::int32_t> Distinct(std::vector<std::int32_t> numbers) {
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

std::u16string FolderOf(std::u16string_view localFile) {
  const std::size_t slash = localFile.rfind(u'\\');
  return slash == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(localFile.substr(0, slash));
}

}  // namespace

ReferenceMender::ReferenceMender(AddressQueue& queue, DocumentRecords& documents,
                                 const ConfinedFolder& siteFiles, ProjectJournal& journal)
    : queue_(queue), documents_(documents), siteFiles_(siteFiles), journal_(journal) {}

bool ReferenceMender::HasFile(const QueueEntry& entry) const {
  return entry.outcome == EntryOutcome::Stored ||
         (!entry.localFile.empty() && siteFiles_.HoldsFile(entry.localFile));
}

std::vector<bool> ReferenceMender::TargetsNotInTheCopy() const {
  const std::int32_t count = queue_.nextNumber();
  std::vector<bool> notInCopy(static_cast<std::size_t>(std::max(count, 0)), false);
  for (std::int32_t n = 0; n < count; ++n) {
    const QueueEntry* entry = queue_.EntryByNumber(n);
    if (entry != nullptr && entry->outcome != EntryOutcome::Stored) {
      notInCopy[static_cast<std::size_t>(n)] = !HasFile(*entry);
    }
  }
  return notInCopy;
}

std::vector<std::int32_t> ReferenceMender::StoredAgain(std::int32_t document,
                                                       const std::vector<bool>& notInCopy) const {
  std::vector<std::int32_t> again;
  if (const auto* web = documents_.WrittenToWeb(document)) {
    for (std::int32_t n : *web) {
      if (n >= 0 && static_cast<std::size_t>(n) < notInCopy.size() && !notInCopy[n]) {
        again.push_back(n);
      }
    }
  }
  return again;
}

ReferenceMender::Outcome ReferenceMender::MendDocument(
    std::int32_t number, DocumentRecords::Kind kind, const std::u16string& charset,
    const std::vector<bool>& notInCopy, const std::vector<std::int32_t>& storedAgain) const {
  Outcome outcome;
  outcome.document = number;
  QueueEntry* entry = queue_.EntryByNumber(number);
  if (entry == nullptr || !HasFile(*entry)) return outcome;
  std::u16string text;
  {
    const Result<std::string> bytes = siteFiles_.Read(entry->localFile);
    if (!bytes) return outcome;
    text = CharsetTransferUtil::GetInstance().CharsetToWide(charset, *bytes);
  }
  // A UTF-8 document is written back to bytes as it is read: held once as
  // text and once as bytes.
  const CharsetTransferUtil& charsets = CharsetTransferUtil::GetInstance();
  const bool utf8 = charsets.GetCodePage(charset) == CharsetTransferUtil::kUtf8;
  std::string encoded;
  UnstoredReferenceRelinker relinker(queue_, FolderOf(entry->localFile), notInCopy, storedAgain);
  if (kind == DocumentRecords::Kind::StyleSheet) {
    RunStyleSheetPasses(text, relinker, utf8 ? &encoded : nullptr);
  } else {
    RunHtmlPasses(text, relinker,
                  kind == DocumentRecords::Kind::Svg ? MarkupKind::Svg : MarkupKind::Html,
                  utf8 ? &encoded : nullptr);
  }
  if (relinker.Relinked() == 0) return outcome;
  if (!utf8) encoded = charsets.WideToCharset(charset, text);
  if (encoded.empty() && !text.empty()) return outcome;
  text = {};
  if (!siteFiles_.Replace(entry->localFile, encoded)) return outcome;
  outcome.changed = true;
  outcome.toWeb = Distinct(relinker.WrittenToWeb());
  outcome.toCopy = Distinct(relinker.WrittenToCopy());
  return outcome;
}

void ReferenceMender::Record(const Outcome& outcome) {
  if (!outcome.changed) return;
  std::set<std::int32_t> web;
  if (const auto* before = documents_.WrittenToWeb(outcome.document)) {
    web.insert(before->begin(), before->end());
  }
  for (std::int32_t n : outcome.toCopy) web.erase(n);
  web.insert(outcome.toWeb.begin(), outcome.toWeb.end());
  std::vector<std::int32_t> targets(web.begin(), web.end());
  journal_.RecordWrittenToWeb(outcome.document, targets);
  documents_.SetWrittenToWeb(outcome.document, std::move(targets));
}

void ReferenceMender::Mend() {
  const std::vector<bool> notInCopy = TargetsNotInTheCopy();
  struct Work {
    std::int32_t number;
    DocumentRecords::Kind kind;
    const std::u16string* charset;
    std::vector<std::int32_t> storedAgain;
  };
  // A document scanned twice (an update) is mended once, as its newest
  // scan found it.
  std::vector<Work> work;
  std::set<std::int32_t> seen;
  const auto& records = documents_.records();
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const DocumentRecords::Record& record = *it;
    if (!seen.insert(record.number).second) continue;
    const auto references = documents_.ReferencesOf(record);
    const bool refersToMissingOrRenamed =
        std::any_of(references.begin(), references.end(), [&](auto n) {
          return n >= 0 && static_cast<std::size_t>(n) < notInCopy.size() &&
                 (notInCopy[n] || queue_.WasRenamed(n));
        });
    std::vector<std::int32_t> again = StoredAgain(record.number, notInCopy);
    if (refersToMissingOrRenamed || !again.empty()) {
      work.push_back({record.number, record.kind, &documents_.CharsetOf(record), std::move(again)});
    }
  }
  std::vector<Outcome> outcomes(work.size());
  WorkShares::Run(work.size(), WorkShares::CountFor(work.size(), 16),
                  [&](std::size_t, std::size_t begin, std::size_t end) {
                    for (std::size_t i = begin; i < end; ++i) {
                      outcomes[i] = MendDocument(work[i].number, work[i].kind, *work[i].charset,
                                                 notInCopy, work[i].storedAgain);
                    }
                  });
  for (const Outcome& outcome : outcomes) Record(outcome);
}

}  // namespace kestrine
