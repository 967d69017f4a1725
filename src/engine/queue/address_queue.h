#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/queue/admission_rules.h"
#include "engine/queue/local_name_registry.h"
#include "engine/queue/pending_entries.h"
#include "engine/queue/queue_entry.h"
#include "runtime/containers/key_index.h"
#include "runtime/containers/text_store.h"
#include "site/address/address.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

// The project's addresses: each distinct address is numbered once and
// fetched once while it is in the lists. http and https of one address,
// addresses that differ only in their fragment, and a folder address and its
// default document ("h/docs/" and "h/docs/index.html") are the same address.
// Guarded by a lock of its own, which these operations take themselves.
class AddressQueue {
 public:
  AddressQueue();
  AddressQueue(const AddressQueue&) = delete;
  AddressQueue& operator=(const AddressQueue&) = delete;

  // Queues an address not seen before and returns its number, new or old.
  // A new project restarts numbering at 0 and fixes the site prefix and
  // site host from this address.
  enum class NewProject { No, Yes };
  int AddAddress(const std::u16string& address, NewProject newProject = NewProject::No);
  // As AddAddress without the new-project flag, with the local file too,
  // for an address found at `depth` in a document whose own chain (see
  // QueueEntry) is `namerChain`; the admission rules, when set, may refuse a
  // new one (number -1).
  FoundAddress AddFound(const std::u16string& address, int depth = 0, int namerChain = 0,
                        bool guessed = false);
  // The rules for addresses found from now on; nullptr for none. Not owned.
  void SetAdmission(AdmissionRules* rules);
  // The next pending entry, now Taken, or nullptr: pages before the files
  // they use (see PendingEntries). The entry stays valid until ClearProject.
  QueueEntry* TakeNextPending();
  // Puts an entry whose download was interrupted by a pause back at the
  // head of `pending` (of its kind), so Continue fetches it first.
  void ReturnToPending(QueueEntry* entry);
  // Deletes every entry. Numbering, site and mode stay.
  void ClearProject();
  // Entries in `pending`.
  std::size_t PendingCount() const;
  // A lock-free look at whether anything is pending, and how much.
  bool HasPending() const { return pendingSize_.load() > 0; }
  std::size_t WaitingCount() const { return pendingSize_.load(); }
  // Entries in `taken`.
  std::size_t TakenCount() const;

  // The entry numbered `number`, or nullptr. Entries are never moved, so the
  // pointer stays valid until ClearProject.
  QueueEntry* EntryByNumber(std::int32_t number);
  // The number of the address stored under a local file (relative to the
  // site folder).
  std::optional<std::int32_t> HolderOf(std::u16string_view localFile) const;

  std::int32_t nextNumber() const { return nextNumber_; }
  // Addresses known to the project, readable from any thread.
  int KnownCount() const { return knownCount_.load(); }
  const std::u16string& sitePrefix() const { return sitePrefix_; }
  const std::u16string& siteHost() const { return siteHost_; }
  DownloadMode mode() const { return mode_; }
  // Fixes the mode, and with it the local files of the entries queued before
  // it was known (the start address and any given with it).
  void SetMode(DownloadMode mode);

  // Gives an entry the local file its answer calls for: `name` in `folder`
  // (relative to the site folder), or its first free alternative. Its
  // former file stays its own, for the references written to it. The placed
  // hook hears of the new file. Returns the new local file.
  std::u16string Rename(QueueEntry& entry, const std::u16string& folder,
                        const std::u16string& name);
  // Another address for what an entry holds (a folder's address and the
  // one it redirected to): it is known from now on and names the same file.
  // When the address is known already, nothing is added and its number is
  // returned: the look and the adding are one step, so another download
  // cannot queue the address between them.
  std::optional<std::int32_t> AddAlias(const QueueEntry& entry, std::u16string_view address);
  // Whether an entry's local file changed since the address was queued.
  bool WasRenamed(std::int32_t number) const;
  // The number of a known address (by the same identity AddAddress uses).
  std::optional<std::int32_t> KnownNumberOf(std::u16string_view address) const;
  // An entry whose answer showed it is the same as another known one (a
  // folder's address that redirected to the "/" form already queued) takes
  // that one's local file; its own stays its, for the references written to
  // it, and the placed hook hears of it.
  void Follow(QueueEntry& entry, std::int32_t same);

  // Called, under the project lock, whenever an entry gets its local file:
  // the project journal's hook.
  void SetPlacedHook(std::function<void(const QueueEntry&)> hook);
  // Calls `visit` for every entry, in number order, under the project lock.
  void ForEachEntry(const std::function<void(const QueueEntry&)>& visit);

  // An entry as a journal recorded it.
  struct RestoredEntry {
    std::int32_t number;
    std::int32_t depth;
    std::u16string address;
    std::u16string localFile;
    bool done;  // its download ended; it is not fetched again
    // Local files it had before its answer renamed it, and other addresses
    // of it.
    std::vector<std::u16string> formerLocalFiles = {};
    std::vector<std::u16string> aliases = {};
    bool guessed = false;
  };
  // Rebuilds a project from its journal: the same mode, site, numbers and
  // local files (each checked against the naming rules: see
  // RecordedLocalFile); entries not done wait in `pending` in number order.
  void Restore(DownloadMode mode, std::u16string sitePrefix, std::u16string siteHost,
               const std::vector<RestoredEntry>& entries);

  // The engine's own files in the site folder, which no address may take.
  static constexpr const char16_t* kLogFileName = u"download.log";
  static constexpr const char16_t* kJournalFileName = u"kestrine.journal";

 private:
  std::u16string TrustedLocalFileLocked(const QueueEntry& entry,
                                        const std::u16string& recorded) const;
  QueueEntry& AddNewLocked(std::u16string_view address, int depth);
  std::optional<std::int32_t> FindKnownLocked(std::u16string_view address) const;
  void PlaceLocked(QueueEntry& entry);
  void ReserveEngineFilesLocked();

  mutable std::mutex mutex_;
  // Entries live in `entries_` (stable addresses); the lists hold pointers.
  std::deque<QueueEntry> entries_;
  PendingEntries pending_;
  std::vector<QueueEntry*> taken_;
  // Every known address without its scheme, viewing the entry's own string,
  // so the n-th address costs O(1) to look up instead of a scan of both
  // lists.
  KeyIndex known_;
  // Other addresses of known entries, by identity: few.
  std::unordered_map<std::u16string, std::int32_t> aliases_;
  std::unordered_set<std::int32_t> renamed_;
  LocalNameRegistry names_;
  TextStore texts_;
  AdmissionRules* admission_ = nullptr;
  std::function<void(const QueueEntry&)> placedHook_;
  bool placing_ = false;  // true once the mode is known for this project
  std::atomic<std::size_t> pendingSize_{0};
  std::atomic<int> knownCount_{0};
  std::int32_t nextNumber_ = 0;
  std::u16string sitePrefix_;
  std::u16string siteHost_;
  DownloadMode mode_ = DownloadMode::BrowsableCopy;
};

}  // namespace kestrine
