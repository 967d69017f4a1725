#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "engine/address_index.h"
#include "site/address.h"

namespace kestrine {

class IStatusMonitor;

enum EntryState : std::int32_t { Pending = 0, Taken = 1, Done = 2 };

// One address the project knows, with its state and its number in order of
// first sight (the start address is 0).
struct QueueEntry {
  std::u16string address;
  std::int32_t state = Pending;
  std::int32_t number = 0;

  // What the user sees: row index + 1, the serial number, numbered names.
  int taskNumber() const { return number + 1; }
};

// The project's addresses: each distinct address is numbered once and
// fetched once while it is in the lists. Guarded by the status monitor's
// lock, which these operations take themselves.
class AddressQueue {
 public:
  explicit AddressQueue(IStatusMonitor& monitor);
  AddressQueue(const AddressQueue&) = delete;
  AddressQueue& operator=(const AddressQueue&) = delete;

  // Queues an address not seen before and returns its number, new or old.
  // A nonzero newProject restarts numbering at 0 and fixes the site prefix
  // and site host from this address.
  int AddAddress(const std::u16string& address, int newProject);
  // The next pending entry, now Taken, or nullptr. The entry stays valid
  // until ClearProject.
  QueueEntry* TakeNextPending();
  // Deletes every entry. Numbering, site and mode stay.
  void ClearProject();
  // Entries in `pending`; the caller holds the monitor's lock.
  std::size_t PendingCount() const;
  // A lock-free look at whether anything is pending.
  bool HasPending() const { return pendingSize_.load() > 0; }
  // Entries in `taken`; the caller holds the monitor's lock.
  std::size_t TakenCount() const;

  std::int32_t nextNumber() const { return nextNumber_; }
  // Addresses known to the project, readable from any thread.
  int KnownCount() const { return knownCount_.load(); }
  const std::u16string& sitePrefix() const { return sitePrefix_; }
  const std::u16string& siteHost() const { return siteHost_; }
  DownloadMode mode() const { return mode_; }
  void set_mode(DownloadMode mode) { mode_ = mode; }

 private:
  IStatusMonitor& monitor_;
  // Entries live in `entries_` (stable addresses); the lists hold pointers.
  std::deque<QueueEntry> entries_;
  std::deque<QueueEntry*> pending_;
  std::vector<QueueEntry*> taken_;
  // Every known address, viewing the entry's own string, so the n-th
  // address costs O(1) to look up instead of a scan of both lists.
  AddressIndex known_;
  std::atomic<std::size_t> pendingSize_{0};
  std::atomic<int> knownCount_{0};
  std::int32_t nextNumber_ = 0;
  std::u16string sitePrefix_;
  std::u16string siteHost_;
  DownloadMode mode_ = BrowsableCopy;
};

}  // namespace kestrine
