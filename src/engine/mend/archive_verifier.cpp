#include "engine/mend/archive_verifier.h"

#include <algorithm>
#include <set>

#include "archive/warc_file_set.h"
#include "archive/warc_reader.h"
#include "engine/journal/project_journal.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

constexpr std::size_t kShown = 20;

void Note(std::vector<std::string>& list, int& count, std::string what) {
  if (list.size() < kShown) list.push_back(std::move(what));
  ++count;
}

// Checks the digests a record states against what its bytes give.
void CheckRecord(const std::string& file, const WarcReader::Record& record,
                 ArchiveVerifier::Report& report) {
  const std::string where =
      WarcFileSet::NameOnly(file) + " at " + std::to_string(record.offset) + ": ";
  const std::string block = record.Field("WARC-Block-Digest");
  if (!block.empty() && block != record.blockDigest) {
    Note(report.problems, report.problemCount, where + "the block digest does not match");
  }
  const std::string type = record.Field("WARC-Type");
  const std::string payload = record.Field("WARC-Payload-Digest");
  // A revisit states its original's payload, not its own.
  if (type == "response" && !payload.empty() && payload != record.payloadDigest) {
    Note(report.problems, report.problemCount, where + "the payload digest does not match");
  }
}

}  // namespace

std::string ArchiveVerifier::Report::Summary() const {
  if (!found) return "Web archive: none";
  std::string text = "Web archive: " + StringUtility::WithThousands(files) +
                     (files == 1 ? " file, " : " files, ") + StringUtility::WithThousands(records) +
                     " records, ";
  text += problemCount == 0 ? "every digest right, "
                            : StringUtility::WithThousands(problemCount) + " problems, ";
  text += unrecordedCount == 0
              ? "every stored file recorded"
              : StringUtility::WithThousands(unrecordedCount) + " stored files not recorded";
  return text;
}

ArchiveVerifier::Report ArchiveVerifier::Verify(const std::u16string& siteFolder,
                                                const std::string& base) {
  Report report;
  const std::string name = base.empty() ? NativePath(siteFolder) : base;
  std::vector<std::string> files;
  for (const WarcFileSet::File& file : WarcFileSet::Of(name)) files.push_back(file.path);
  report.found = !files.empty();
  if (!report.found) return report;
  std::set<std::string> recorded;
  for (const std::string& file : files) {
    ++report.files;
    const Status read = WarcReader::ForEach(file, [&](const WarcReader::Record& record) {
      ++report.records;
      CheckRecord(file, record, report);
      const std::string type = record.Field("WARC-Type");
      if (type == "response" || type == "revisit") recorded.insert(record.Field("WARC-Target-URI"));
    });
    if (!read)
      Note(report.problems, report.problemCount,
           WarcFileSet::NameOnly(file) + ": " + read.error().message);
  }
  const ProjectJournal::Contents journal = ProjectJournal::ReadCopy(siteFolder);
  for (const ProjectJournal::Entry& entry : journal.entries) {
    if (entry.outcome != EntryOutcome::Stored) continue;
    const std::string address = StringUtility::ToUtf8(entry.address);
    if (recorded.count(address) == 0 && recorded.count(address + "/") == 0) {
      Note(report.unrecorded, report.unrecordedCount, address);
    }
  }
  return report;
}

}  // namespace kestrine
