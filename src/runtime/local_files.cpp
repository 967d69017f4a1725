#include "runtime/local_files.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "runtime/string_utility.h"

namespace kestrine {

namespace fs = std::filesystem;

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/tmp";
}

}  // namespace

std::string NativePath(const std::u16string& path) {
  std::string native = StringUtility::ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::u16string DisplayPath(const std::u16string& path) {
  return StringUtility::FromUtf8(NativePath(path));
}

bool FolderExist(const std::u16string& folder) {
  std::error_code error;
  return fs::is_directory(NativePath(folder), error);
}

bool CreateFolders(const std::u16string& folder) {
  std::error_code error;
  const std::string native = NativePath(folder);
  fs::create_directories(native, error);
  return fs::is_directory(native, error);
}

bool DeleteLocalFile(const std::u16string& path) {
  return std::remove(NativePath(path).c_str()) == 0;
}

bool WriteLocalFile(const std::u16string& path, const std::string& bytes, WriteMode mode) {
  std::FILE* file = std::fopen(NativePath(path).c_str(), mode == WriteMode::Append ? "ab" : "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::optional<std::string> ReadLocalFile(const std::u16string& path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<std::string> RenameLocalFile(const std::u16string& from, const std::u16string& to) {
  if (std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0) return std::nullopt;
  return std::string(std::strerror(errno));
}

bool ReplaceLocalFile(const std::u16string& path, const std::string& bytes) {
  const std::u16string temporary = path + u"~kestrine-new";
  if (!WriteLocalFile(temporary, bytes, WriteMode::Truncate)) {
    DeleteLocalFile(temporary);
    return false;
  }
  if (RenameLocalFile(temporary, path)) {
    DeleteLocalFile(temporary);
    return false;
  }
  return true;
}

std::u16string PartialFilePath(const std::u16string& folder, int taskNumber) {
  return folder + u"\\~kestrine-part-" + StringUtility::FromAscii(std::to_string(taskNumber));
}

long long LocalFileSize(const std::u16string& path) {
  std::error_code error;
  const auto size = fs::file_size(NativePath(path), error);
  return error ? -1 : static_cast<long long>(size);
}

std::u16string GetConfigPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string base = (xdg != nullptr && *xdg == '/') ? xdg : HomeFolder() + "/.config";
  return StringUtility::FromUtf8(base + "/kestrine");
}

std::u16string GetDataPath() {
  return StringUtility::FromUtf8(HomeFolder() + "/Downloads/Kestrine");
}

}  // namespace kestrine
