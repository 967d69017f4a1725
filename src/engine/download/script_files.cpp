#include "engine/download/script_files.h"

#include <mutex>

#include "engine/download/document_scope.h"
#include "runtime/net/http_client.h"
#include "runtime/string_utility.h"
#include "site/address/address.h"
#include "site/script/named_files.h"
#include "site/rewrite/reference_writer.h"

namespace kestrine {

namespace {

constexpr std::int64_t kLargeFileBytes = 8ll * 1024 * 1024;

}  // namespace

void TakeFilesNamedIn(Project& project, const QueueEntry& entry, HttpClient& client) {
  const AddressQueue& queue = project.queue();
  // Reading costs time and memory: none once the run can take no more.
  if (queue.mode() == RetrieveFiles || !project.MayQueueMore()) return;
  const std::u16string address = client.GetLocationURL();
  if (!StringUtility::EqualsIgnoreCaseAscii(SplitAbsolute(address).host, queue.siteHost())) {
    return;
  }
  const auto kind = NamedFiles::KindOf(client.GetHeaderValue("Content-Type"), address);
  if (!kind) return;
  FoundNames names(FoundNames::kMaxNames, [&project] { return !project.MayQueueMore(); });
  // A large file is held as text at twice its size while it is read: one
  // at a time, so a site of many such files costs no more than one.
  std::unique_lock<std::mutex> oneLargeFile;
  if (client.GetReceivedBytes() > kLargeFileBytes) {
    static std::mutex largeFiles;
    oneLargeFile = std::unique_lock(largeFiles);
  }
  if (*kind == NamedFiles::Kind::PagefindMeta) {
    NamedFiles::InPagefindMeta(client.GetBody(), names);
  } else if (*kind == NamedFiles::Kind::Script) {
    NamedFiles::InScript(client.GetSource(), address, names);
  } else {
    NamedFiles::InJson(client.GetSource(), address, names);
  }
  if (names.skipped() > 0) project.NoteNamesCapped();
  DocumentScope scope(project, entry, DocumentRole::Requisite);
  ReferenceWriter writer(scope, address, project.siteFolder(), project.siteFolder());
  std::size_t left = names.names().size();
  for (const std::u16string& reference : names.names()) {
    // A limit reached: what is left would only be refused one by one.
    if (!project.MayQueueMore()) {
      project.NoteBeyondFileLimit(static_cast<int>(left));
      return;
    }
    writer.TakeNamed(reference);
    --left;
  }
}

}  // namespace kestrine
