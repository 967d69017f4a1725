#include "engine/mend/archive_verifier.h"

#include <dirent.h>

#include <algorithm>
#include <set>

#include "archive/warc_reader.h"
#include "engine/journal/project_journal.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

constexpr std::size_t kShown = 20;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOnly(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// NAME.warc.gz and NAME-00000.warc.gz on, in order.
std::vector<std::string> FilesOf(const std::string& base) {
  std::vector<std::string> files;
  DIR* folder = ::opendir(FolderOf(base).c_str());
  if (folder == nullptr) return files;
  const std::string stem = NameOnly(base);
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    const bool whole = name == stem + ".warc.gz";
    const bool numbered =
        name.size() == stem.size() + 14 && name.starts_with(stem + "-") &&
        name.ends_with(".warc.gz") &&
        name.substr(stem.size() + 1, 5).find_first_not_of("0123456789") == std::string::npos;
    if (whole || numbered) files.push_back(FolderOf(base) + "/" + name);
  }
  ::closedir(folder);
  std::sort(files.begin(), files.end());
  return files;
}

void Note(std::vector<std::string>& list, int& count, std::string what) {
  if (list.size() < kShown) list.push_back(std::move(what));
  ++count;
}

// Checks the digests a record states against what its bytes give.
void CheckRecord(const std::string& file, const WarcReader::Record& record,
                 ArchiveVerifier::Report& report) {
  const std::string where = NameOnly(file) + " at " + std::to_string(record.offset) + ": ";
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
  const std::vector<std::string> files = FilesOf(name);
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
      Note(report.problems, report.problemCount, NameOnly(file) + ": " + read.error().message);
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
