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
  // Replaces one text for the rest of the process (a resource bundle). A
  // text whose printf conversions differ from the built-in one's is refused
  // (false), and the built-in text stays.
  static bool Replace(int id, std::u16string text);
  // The conversions of a printf format in order ("%d|%.2f|%s|"); "%%" counts.
  static std::u16string Conversions(const std::u16string& format);
};

}  // namespace kestrine
