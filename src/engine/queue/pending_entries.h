#pragma once

#include <cstddef>
#include <deque>

namespace kestrine {

struct QueueEntry;

// The entries waiting for a download, pages ahead of the files they use:
// a page's links are known only once it is read, so reading pages first
// widens the crawl sooner, and the images, style sheets and scripts fill
// the transfers that would otherwise wait. Each kind keeps its order.
class PendingEntries {
 public:
  void PushBack(QueueEntry* entry);
  // For an entry whose download was interrupted: it goes first of its kind.
  void PushFront(QueueEntry* entry);
  // The next entry to download, or nullptr.
  QueueEntry* PopFront();
  std::size_t size() const { return pages_.size() + files_.size(); }
  bool empty() const { return pages_.empty() && files_.empty(); }
  void Clear();

 private:
  std::deque<QueueEntry*>& QueueFor(const QueueEntry* entry);

  std::deque<QueueEntry*> pages_;
  std::deque<QueueEntry*> files_;
};

}  // namespace kestrine
