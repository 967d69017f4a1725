#include "config/setting_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "encoding/ansi_code_page.h"
#include "runtime/fs/local_files.h"
#include "runtime/unique_fd.h"

namespace kestrine {

namespace {

std::mutex instanceMutex;
std::unique_ptr<SettingUtil>& InstanceSlot() {
  static std::unique_ptr<SettingUtil> instance;
  return instance;
}

// The narrow form of a folder when it fits a 500-byte field with its
// terminating zero.
std::optional<std::string> Fitting(const std::u16string& folder) {
  std::string narrow = AnsiCodePage::FromWide(folder);
  if (narrow.size() >= BasicSetting::kPathBytes) return std::nullopt;
  // A zero inside would cut the stored folder short.
  if (narrow.find('\0') != std::string::npos) return std::nullopt;
  return narrow;
}

std::string FieldText(const char* field) {
  return std::string(field, strnlen(field, BasicSetting::kPathBytes));
}

}  // namespace

BasicSetting BasicSetting::Defaults() {
  BasicSetting record;
  std::memset(&record, 0, sizeof record);
  record.threadNumber = 5;
  record.reserved5508 = 3027519;
  record.timeOut = 10;
  return record;
}

SettingUtil& SettingUtil::GetInstance() {
  std::lock_guard lock(instanceMutex);
  auto& slot = InstanceSlot();
  if (!slot) slot = std::make_unique<SettingUtil>();
  return *slot;
}

void SettingUtil::ResetInstance() {
  std::lock_guard lock(instanceMutex);
  InstanceSlot() = std::make_unique<SettingUtil>();
}

SettingUtil::SettingUtil() : record_(BasicSetting::Defaults()) {}

std::u16string SettingUtil::GetConfigFolder() {
  if (configFolder_.empty()) {
    configFolder_ = GetConfigPath();
    CreateFolders(configFolder_);
  }
  return configFolder_;
}

std::u16string SettingUtil::GetSettingFile() {
  return GetConfigFolder() + u"\\" + kSettingFileName;
}

void SettingUtil::Load() {
  // Only a plain file is read, and only as far as the record goes: a pipe
  // or a device standing there must not hold the program at its start.
  UniqueFd fd(::open(NativePath(GetSettingFile()).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status {};
  if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return;
  unsigned char bytes[sizeof(BasicSetting)];
  std::size_t count = 0;
  while (count < sizeof bytes) {
    const ssize_t done = ::read(fd.get(), bytes + count, sizeof bytes - count);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;
    count += static_cast<std::size_t>(done);
  }
  std::memcpy(&record_, bytes, count);
  // The strings must end inside their fields whatever the file held.
  record_.path[BasicSetting::kPathBytes - 1] = '\0';
  for (auto& recent : record_.recentPaths) recent[BasicSetting::kPathBytes - 1] = '\0';
  // A hand-edited file may hold anything; the run only ever sees values the
  // settings dialog would accept.
  record_.threadNumber = std::clamp(record_.threadNumber, kMinThreads, kMaxThreads);
  record_.timeOut = std::clamp(record_.timeOut, kMinTimeOut, kMaxTimeOut);
}

void SettingUtil::Save() {
  std::FILE* file = std::fopen(NativePath(GetSettingFile()).c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(&record_, 1, sizeof record_, file);
  std::fclose(file);
}

std::u16string SettingUtil::GetDownloadFolder() {
  std::u16string folder = AnsiCodePage::ToWide(FieldText(record_.path));
  if (!folder.empty()) return folder;
  std::u16string fallback = GetDataPath();
  CreateFolders(fallback);
  return fallback;
}

FolderResult SettingUtil::SetDownloadFolder(const std::u16string& folder) {
  const auto narrow = Fitting(folder);
  if (!narrow) return FolderResult::TooLong;
  std::memset(record_.path, 0, sizeof record_.path);
  std::memcpy(record_.path, narrow->data(), narrow->size());
  return FolderResult::Stored;
}

FolderResult SettingUtil::AddRecentPath(const std::u16string& folder) {
  const auto narrow = Fitting(folder);
  if (!narrow) return FolderResult::TooLong;
  for (const auto& recent : record_.recentPaths) {
    if (FieldText(recent) == *narrow) return FolderResult::Stored;
  }
  std::memmove(record_.recentPaths[1], record_.recentPaths[0],
               (BasicSetting::kRecentCount - 1) * BasicSetting::kPathBytes);
  std::memset(record_.recentPaths[0], 0, BasicSetting::kPathBytes);
  std::memcpy(record_.recentPaths[0], narrow->data(), narrow->size());
  return FolderResult::Stored;
}

std::u16string SettingUtil::RecentPath(int index) const {
  if (index < 0 || index >= BasicSetting::kRecentCount) return {};
  return AnsiCodePage::ToWide(FieldText(record_.recentPaths[index]));
}

}  // namespace kestrine
