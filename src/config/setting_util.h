#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrine {

// The settings record, stored in "quorl.cfg" byte for byte: little-endian,
// no header. Narrow strings are zero-terminated in the system's narrow
// character set.
struct BasicSetting {
  static constexpr std::size_t kPathBytes = 500;
  static constexpr int kRecentCount = 5;

  std::int32_t threadNumber;
  std::int32_t reserved4;
  char path[kPathBytes];
  char recentPaths[kRecentCount][kPathBytes];
  unsigned char reserved3008[2500];
  std::int32_t reserved5508;
  unsigned char reserved5512[124];
  std::int32_t reserved5636;
  unsigned char reserved5640[128];
  std::int32_t timeOut;
  std::int32_t carried;

  static BasicSetting Defaults();
};

static_assert(std::endian::native == std::endian::little, "the record is stored as in memory");
static_assert(std::is_standard_layout_v<BasicSetting>);
static_assert(offsetof(BasicSetting, threadNumber) == 0);
static_assert(offsetof(BasicSetting, reserved4) == 4);
static_assert(offsetof(BasicSetting, path) == 8);
static_assert(offsetof(BasicSetting, recentPaths) == 508);
static_assert(offsetof(BasicSetting, reserved3008) == 3008);
static_assert(offsetof(BasicSetting, reserved5508) == 5508);
static_assert(offsetof(BasicSetting, reserved5512) == 5512);
static_assert(offsetof(BasicSetting, reserved5636) == 5636);
static_assert(offsetof(BasicSetting, reserved5640) == 5640);
static_assert(offsetof(BasicSetting, timeOut) == 5768);
static_assert(offsetof(BasicSetting, carried) == 5772);
static_assert(sizeof(BasicSetting) == 5776);

enum class FolderResult { Stored, TooLong };

// The process-wide settings: the record and the folder it is stored in.
class SettingUtil {
 public:
  static constexpr const char16_t* kSettingFileName = u"quorl.cfg";
  // The ranges the settings dialog accepts.
  static constexpr int kMinThreads = 1;
  static constexpr int kMaxThreads = 15;
  static constexpr int kMinTimeOut = 10;
  static constexpr int kMaxTimeOut = 300;

  static SettingUtil& GetInstance();
  // Replaces the process-wide object with a fresh one holding the defaults.
  static void ResetInstance();

  SettingUtil();

  // The configuration folder, created on first use.
  std::u16string GetConfigFolder();
  std::u16string GetSettingFile();
  // Reads up to a whole record over the current one; a missing or short file
  // leaves the rest as it was.
  void Load();
  // Writes the whole record; an unwritable file is passed over.
  void Save();
  // The stored folder, or the default download folder (created) when none
  // is stored.
  std::u16string GetDownloadFolder();
  // Stores the download folder. A folder whose narrow form does not fit the
  // record is refused and nothing changes.
  FolderResult SetDownloadFolder(const std::u16string& folder);
  // Puts a folder at the head of the recent folders unless it is there
  // already; refused like SetDownloadFolder.
  FolderResult AddRecentPath(const std::u16string& folder);
  std::u16string RecentPath(int index) const;

  BasicSetting& record() { return record_; }
  const BasicSetting& record() const { return record_; }

 private:
  std::u16string configFolder_;
  BasicSetting record_;
};

}  // namespace kestrine
