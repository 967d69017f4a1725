#include "engine/address_queue.h"

#include "engine/i_status_monitor.h"

namespace kestrine {

AddressQueue::AddressQueue(IStatusMonitor& monitor) : monitor_(monitor) {}

int AddressQueue::AddAddress(const std::u16string& address, int newProject) {
  if (newProject != 0) nextNumber_ = 0;
  monitor_.Lock();
  if (const auto known = known_.Find(address)) {
    monitor_.Unlock();
    return *known;
  }
  QueueEntry& entry = entries_.emplace_back();
  entry.address = address;
  entry.state = Pending;
  entry.number = nextNumber_;
  known_.Insert(entry.address, entry.number);
  pending_.push_back(&entry);
  pendingSize_.store(pending_.size());
  knownCount_.store(static_cast<int>(known_.size()));
  ++nextNumber_;
  const int number = entry.number;
  monitor_.Unlock();
  if (newProject != 0) {
    sitePrefix_ = SitePrefixOf(entry.address);
    siteHost_ = SiteHostOf(sitePrefix_);
  }
  return number;
}

QueueEntry* AddressQueue::TakeNextPending() {
  monitor_.Lock();
  if (pending_.empty()) {
    monitor_.Unlock();
    return nullptr;
  }
  QueueEntry* entry = pending_.front();
  entry->state = Taken;
  pending_.pop_front();
  pendingSize_.store(pending_.size());
  taken_.push_back(entry);
  monitor_.Unlock();
  return entry;
}

void AddressQueue::ClearProject() {
  monitor_.Lock();
  known_.Clear();
  pending_ = {};
  taken_ = {};
  entries_ = {};
  pendingSize_.store(0);
  knownCount_.store(0);
  monitor_.Unlock();
}

std::size_t AddressQueue::PendingCount() const { return pending_.size(); }

std::size_t AddressQueue::TakenCount() const { return taken_.size(); }

}  // namespace kestrine
