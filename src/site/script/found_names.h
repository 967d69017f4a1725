#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace kestrine {

// The names the readers of one script, JSON file or index find, each kept
// once and no more than a bound, so a hostile file costs bounded memory
// however many names it repeats or makes up. Readers ask Done() as they go
// and end early when it says so: the bound is reached, or a stop (a cancel,
// a pause, a limit of the run) was asked for.
class FoundNames {
 public:
  static constexpr std::size_t kMaxNames = 100000;
  using StopCheck = std::function<bool()>;

  explicit FoundNames(std::size_t maxNames = kMaxNames, StopCheck stopped = {});

  // Keeps a name unless it was kept already; false once no more are taken.
  bool Add(std::u16string_view name);
  // The same for a name in two parts (a base and a file).
  bool Add(std::u16string_view first, std::u16string_view second);
  // Whether a reader should end now. The stop check is looked at every few
  // thousand calls, which keeps its cost out of a reader's inner loop.
  bool Done() {
    if (stop_ || (skipped_ > 0)) return true;
    if ((++calls_ & 4095) == 0 && stopped_ && stopped_()) stop_ = true;
    return stop_;
  }

  const std::deque<std::u16string>& names() const { return names_; }
  // Names beyond the bound, not kept.
  std::size_t skipped() const { return skipped_; }
  bool full() const { return names_.size() >= maxNames_; }

 private:
  std::size_t maxNames_;
  StopCheck stopped_;
  bool stop_ = false;
  unsigned calls_ = 0;
  std::size_t skipped_ = 0;
  // A deque never moves what it holds, so the set may view its strings.
  std::deque<std::u16string> names_;
  std::unordered_set<std::u16string_view> seen_;
  std::u16string scratch_;
};

}  // namespace kestrine
