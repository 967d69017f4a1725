#pragma once

#include <cstdint>
#include <string_view>

namespace kestrine {

// Where an entry stands in its run.
enum class EntryState : std::int32_t { Pending = 0, Taken = 1, Done = 2 };

// How an entry's download ended, as far as the copy is concerned; the
// journal keeps these numbers.
enum class EntryOutcome : std::int32_t { None = 0, Stored = 1, Failed = 2 };

// One address the project knows, with its state, its number in order of
// first sight (the start address is 0) and its local file.
// The texts are kept by the queue (TextStore) for as long as the project.
struct QueueEntry {
  std::u16string_view address;
  // Relative to the site folder; fixed once, when the address is first
  // queued, and used by every reference to it and by its download.
  std::u16string_view localFile;
  EntryState state = EntryState::Pending;
  std::int32_t number = 0;
  // Links from the start page (0) to this address.
  std::int32_t depth = 0;
  // Written by the worker that holds the entry, read once every worker
  // has ended.
  EntryOutcome outcome = EntryOutcome::None;
  // Files in a row, each named by the one before, since the last page: 0
  // for a page, 1 for a page's image or script, 2 for what that names...
  std::int16_t chain = 0;
  // Only guessed from a script's strings: fetched if the site has it, and
  // dropped without a row if not. Set when queued, never after.
  bool guessed = false;

  // What the user sees: row index + 1, the serial number, numbered names.
  int taskNumber() const { return number + 1; }
};

}  // namespace kestrine
