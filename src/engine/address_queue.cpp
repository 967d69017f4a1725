#include "engine/address_queue.h"

#include "engine/i_status_monitor.h"

namespace kestrine {

AddressQueue::AddressQueue(IStatusMonitor& monitor) : monitor_(monitor) {}

const QueueEntry* AddressQueue::FindKnown(std::u16string_view address) const {
  const auto found = known_.find(address);
  return found == known_.end() ? nullptr : found->second;
}

int AddressQueue::AddAddress(std::u16string address, int newProject) {
  if (newProject != 0) nextNumber_ = 0;
  monitor_.Lock();
  if (const QueueEntry* known = FindKnown(address)) {
    const int number = known->number;
    monitor_.Unlock();
    return number;
  }
  QueueEntry& entry = entries_.emplace_back();
  entry.address = std::move(address);
  entry.state = Pending;
  entry.number = nextNumber_;
  known_.emplace(entry.address, &entry);
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
  known_ = {};
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
