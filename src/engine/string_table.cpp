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

void StringTable::Replace(int id, std::u16string text) {
  std::lock_guard lock(tableMutex);
  Table()[id] = std::move(text);
}

}  // namespace kestrine
