#include "engine/download/stages/place_stage.h"

#include "encoding/ansi_code_page.h"
#include "engine/download/stages/fetch_stage.h"
#include "engine/journal/project_journal.h"
#include "engine/queue/address_queue.h"
#include "engine/queue/recorded_local_file.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/string_utility.h"
#include "site/address/address.h"

namespace kestrine {

namespace {

std::u16string FolderOf(std::u16string_view localFile) {
  const std::size_t slash = localFile.rfind(u'\\');
  return slash == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(localFile.substr(0, slash));
}

std::u16string NameOf(std::u16string_view localFile) {
  const std::size_t slash = localFile.rfind(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? localFile
                                                           : localFile.substr(slash + 1));
}

}  // namespace

bool PlaceStage::IsSlashFormOf(const std::u16string& location, const std::u16string& address) {
  const std::u16string_view wanted = std::u16string_view(address).substr(WebSchemeLength(address));
  const std::u16string_view found = std::u16string_view(location).substr(WebSchemeLength(location));
  return found.size() == wanted.size() + 1 && found.back() == u'/' && found.starts_with(wanted) &&
         !wanted.ends_with(u'/');
}

StageResult PlaceStage::Run(DownloadState& download) {
  AddressQueue& queue = context_.queue;
  QueueEntry& entry = download.entry;
  std::u16string folder = FolderOf(entry.localFile);
  std::u16string name = NameOf(entry.localFile);
  std::u16string namedAfter(entry.address);
  bool rename = false;
  const std::u16string location = download.client.GetLocationURL();
  if (queue.mode() == DownloadMode::DuplicateSite && IsSlashFormOf(location, namedAfter)) {
    // The "/" form came first, from another page: that entry has the file.
    // Looked for and claimed in one step, or a page scanned meanwhile could
    // queue it and both would take the name.
    if (const auto same = queue.AddAlias(entry, location); same && *same != entry.number) {
      queue.Follow(entry, *same);
      download.target.path = FetchStage::TargetOf(entry, context_.files.path()).path;
      return endings_.StoredElsewhere(download);
    }
    const auto rule =
        RecordedLocalFile::RuleNameOf(queue.mode(), queue.siteHost(), location, entry.taskNumber());
    folder = rule.folder;
    name = rule.name;
    namedAfter = location;
    context_.journal.RecordAlias(entry.number, location);
    rename = true;
  }
  const std::u16string type = AnsiCodePage::ToWide(download.client.GetHeaderValue("Content-Type"));
  if (!StringUtility::TrimWhiteSpace(type).empty()) {
    if (auto typed = LocalFileNameForType(name, PathExtensionOf(namedAfter), type)) {
      name = *std::move(typed);
      rename = true;
    }
  }
  if (!rename || (folder == FolderOf(entry.localFile) && name == NameOf(entry.localFile))) {
    return StageResult::Continue;
  }
  queue.Rename(entry, folder, name);
  LocalTarget moved = FetchStage::TargetOf(entry, context_.files.path());
  moved.partialName = std::move(download.target.partialName);
  moved.partialFile = std::move(download.target.partialFile);
  download.target = std::move(moved);
  return StageResult::Continue;
}

}  // namespace kestrine
