#include "runtime/fs/local_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "runtime/string_utility.h"
#include "runtime/unique_fd.h"

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
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC |
                    (mode == WriteMode::Append ? O_APPEND : O_TRUNC);
  const int fd = ::open(NativePath(path).c_str(), flags, 0666);
  if (fd < 0) return false;
  const bool written = WriteToDescriptor(fd, bytes);
  return ::close(fd) == 0 && written;
}

bool WriteToDescriptor(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
  return true;
}

// A settings file is read only when it is a plain file of at most
// `maxBytes`: opened without waiting (a pipe would block the reader until
// someone writes), looked at, then read in as few calls as its size allows.
Result<std::string> ReadLocalFile(const std::u16string& path, std::size_t maxBytes) {
  const std::string native = NativePath(path);
  UniqueFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) {
    if (errno == ENOENT) return Error{ErrorKind::Missing, native + " does not exist"};
    return Error{ErrorKind::Io, native + " cannot be read: " + std::strerror(errno)};
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return Error{ErrorKind::NotAFile, native + " is not a regular file"};
  }
  const auto tooLarge = [&] {
    return Error{ErrorKind::TooLarge,
                 native + " is larger than " + StringUtility::WithThousands(maxBytes) + " bytes"};
  };
  if (static_cast<std::uint64_t>(status.st_size) > maxBytes) return tooLarge();
  // One byte beyond the bound tells a file that grew meanwhile.
  std::string bytes(std::min<std::size_t>(static_cast<std::size_t>(status.st_size), maxBytes) + 1,
                    '\0');
  std::size_t used = 0;
  while (used < bytes.size()) {
    const ssize_t done = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return Error{ErrorKind::Io, native + " cannot be read: " + std::strerror(errno)};
    if (done == 0) break;
    used += static_cast<std::size_t>(done);
    if (used == bytes.size() && used <= maxBytes) bytes.resize(std::min(maxBytes + 1, used * 2));
  }
  if (used > maxBytes) return tooLarge();
  bytes.resize(used);
  return bytes;
}

const char* PartialFilePrefix() { return "~kestrine-part-"; }

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
