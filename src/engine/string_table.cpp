#include "engine/string_table.h"

#include <map>
#include <mutex>

namespace kestrine {

namespace {

std::mutex tableMutex;

std::map<int, std::u16string>& Table() {
  static std::map<int, std::u16string> table = {
      {kIdsFailure, u"Failure"},
      {kIdsFinished, u"Finished"},
      {kIdsNotice, u"Notice"},
      {kIdsCanceled, u"Canceled"},
      {kIdsPaused, u"Paused"},
      {kIdsRunFinished, u"Finished"},
      {kIdsDownloading, u"Downloading [%d][%.2fKB][%s]"},
      {kIdsCanceling, u"Canceling...."},
      {kIdsPausing, u"Pausing...."},
      {kIdsSeconds, u"%0.2f s"},
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
