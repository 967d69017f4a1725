#pragma once

#include <string>

namespace kestrine {

// The texts the user sees, by their fixed ids. A resource bundle may
// replace them.
enum StringId {
  kIdsFailure = 109,
  kIdsFinished = 111,
  kIdsNotice = 114,
  kIdsCanceled = 118,
  kIdsPaused = 119,
  kIdsRunFinished = 120,
  kIdsDownloading = 121,  // "Downloading [%d][%.2fKB][%s]"
  kIdsCanceling = 130,
  kIdsPausing = 131,
  kIdsSeconds = 132,  // "%0.2f s"
};

class StringTable {
 public:
  static std::u16string Load(int id);
  // Replaces one text for the rest of the process (a resource bundle).
  static void Replace(int id, std::u16string text);
};

}  // namespace kestrine
