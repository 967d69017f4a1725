#include "presentation/string_table.h"

#include <map>
#include <mutex>

#include "kestrine_version.h"

namespace kestrine {

namespace {

std::mutex tableMutex;

std::map<int, std::u16string>& Table() {
  static std::map<int, std::u16string> table = {
      {kIdsAboutMenuItem, u"About Kestrine(&A)..."},
      {kIdsAddressHeader, u"Address"},
      {kIdsSizeHeader, u"Size"},
      {kIdsSpeedHeader, u"Speed"},
      {kIdsProgressHeader, u"Progress"},
      {kIdsTimeHeader, u"Time"},
      {kIdsNumberHeader, u"Serial Number"},
      {kIdsTargetFileHeader, u"Target File"},
      {kIdsFailure, u"Failure"},
      {kIdsPauseButton, u"&Pause"},
      {kIdsFinished, u"Finished"},
      {kIdsContinueButton, u"C&ontinue"},
      {kIdsProductName, u"Kestrine"},
      {kIdsNotice, u"Notice"},
      {kIdsCancelButton, u"&Cancel"},
      {kIdsClearButton, u"C&lear"},
      {kIdsOpenFolderButton, u"Open &Folder"},
      {kIdsCanceled, u"Canceled"},
      {kIdsPaused, u"Paused"},
      {kIdsRunFinished, u"Finished"},
      {kIdsDownloading, u"Downloading [%d][%.2fKB][%s]"},
      {kIdsWebsiteAddress, u"Website Address"},
      {kIdsBrowsableCopyChoice, u"Create a browsable copy of a website"},
      {kIdsDuplicateSiteChoice, u"Duplicate a website, including directory"},
      {kIdsRetrieveFilesChoice, u"Retrieve one or more files at known addresses"},
      {kIdsDownloadTab, u"Download"},
      {kIdsQueueTab, u"Queue"},
      {kIdsExampleLine,
       u"For example: https://www.example.com/ or https://www.example.com/docs/index.html"},
      {kIdsVersion, u"" KESTRINE_VERSION},
      {kIdsCanceling, u"Canceling...."},
      {kIdsPausing, u"Pausing...."},
      {kIdsSeconds, u"%0.2f s"},
      {kIdsDownloadButton, u"&Download"},
      {kIdsSettingTitle, u"Setting"},
  };
  return table;
}

}  // namespace

std::u16string StringTable::Load(int id) {
  std::lock_guard lock(tableMutex);
  const auto& table = Table();
  const auto found = table.find(id);
  return found == table.end() ? std::u16string() : found->second;
}

std::u16string StringTable::Conversions(const std::u16string& format) {
  std::u16string conversions;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != u'%') continue;
    // Flags, width, precision and length, up to the conversion letter.
    std::size_t k = i + 1;
    while (k < format.size() && std::u16string_view(u"-+ #0123456789.hlLqjzt").find(format[k]) !=
                                    std::u16string_view::npos) {
      ++k;
    }
    if (k >= format.size()) return conversions + u"%!";
    conversions += format.substr(i, k - i + 1);
    conversions += u'|';
    i = k;
  }
  return conversions;
}

bool StringTable::Replace(int id, std::u16string text) {
  std::lock_guard lock(tableMutex);
  auto& table = Table();
  const auto builtIn = table.find(id);
  // A replaced text is formatted with the built-in text's arguments, so it
  // must ask for exactly the same conversions.
  if (builtIn != table.end() && Conversions(builtIn->second) != Conversions(text)) return false;
  table[id] = std::move(text);
  return true;
}

}  // namespace kestrine
