#include "engine/queue/pending_entries.h"

#include "engine/queue/address_queue.h"
#include "site/address/address.h"

namespace kestrine {

std::deque<QueueEntry*>& PendingEntries::QueueFor(const QueueEntry* entry) {
  return LooksLikePage(entry->address) ? pages_ : files_;
}

void PendingEntries::PushBack(QueueEntry* entry) { QueueFor(entry).push_back(entry); }

void PendingEntries::PushFront(QueueEntry* entry) { QueueFor(entry).push_front(entry); }

QueueEntry* PendingEntries::PopFront() {
  std::deque<QueueEntry*>& from = pages_.empty() ? files_ : pages_;
  if (from.empty()) return nullptr;
  QueueEntry* entry = from.front();
  from.pop_front();
  return entry;
}

void PendingEntries::Clear() {
  pages_ = {};
  files_ = {};
}

}  // namespace kestrine
