#pragma once

#include <string>

namespace kestrine {

// The texts the user sees, by their fixed ids. A resource bundle may
// replace them.
enum StringId {
  kIdsAboutMenuItem = 101,
  kIdsAddressHeader = 102,
  kIdsSizeHeader = 103,
  kIdsSpeedHeader = 104,
  kIdsProgressHeader = 105,
  kIdsTimeHeader = 106,
  kIdsNumberHeader = 107,
  kIdsTargetFileHeader = 108,
  kIdsFailure = 109,
  kIdsPauseButton = 110,
  // A download's own end state; kIdsRunFinished is the end of a whole run.
  kIdsFinished = 111,
  kIdsContinueButton = 112,
  kIdsProductName = 113,
  kIdsNotice = 114,
  kIdsCancelButton = 115,
  kIdsClearButton = 116,
  kIdsOpenFolderButton = 117,
  kIdsCanceled = 118,
  kIdsPaused = 119,
  kIdsRunFinished = 120,
  kIdsDownloading = 121,  // "Downloading [%d][%.2fKB][%s]"
  kIdsWebsiteAddress = 122,
  kIdsBrowsableCopyChoice = 123,
  kIdsDuplicateSiteChoice = 124,
  kIdsRetrieveFilesChoice = 125,
  kIdsDownloadTab = 126,
  kIdsQueueTab = 127,
  kIdsExampleLine = 128,
  kIdsVersion = 129,
  kIdsCanceling = 130,
  kIdsPausing = 131,
  kIdsSeconds = 132,  // "%0.2f s"
  kIdsDownloadButton = 133,
  kIdsSettingTitle = 134,
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
