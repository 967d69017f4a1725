#include "runtime/fs/confined_folder.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

// Letters of an unguessable name: 96 random bits.
std::string RandomLetters() {
  unsigned char bytes[12];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t done = getrandom(bytes + got, sizeof bytes - got, 0);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;
    got += static_cast<std::size_t>(done);
  }
  static const char* kLetters = "0123456789abcdefghijklmnopqrstuv";
  std::string name;
  for (unsigned char byte : bytes) {
    name += kLetters[byte & 31];
    name += kLetters[(byte >> 5) & 7];
  }
  return name;
}

// The components of a "\"-separated relative path in UTF-8; nothing when
// one of them could climb out ("", ".", "..") or hides a separator.
std::optional<std::vector<std::string>> ComponentsOf(std::u16string_view relativePath) {
  std::vector<std::string> components;
  for (std::u16string_view part : StringUtility::SplitViews(relativePath, u'\\')) {
    std::string component = StringUtility::ToUtf8(part);
    if (component.empty() || component == "." || component == ".." ||
        component.find('/') != std::string::npos || component.find('\0') != std::string::npos) {
      return std::nullopt;
    }
    components.push_back(std::move(component));
  }
  if (components.empty()) return std::nullopt;
  return components;
}

std::string Joined(const std::vector<std::string>& components, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) path += '/';
    path += components[i];
  }
  return path;
}

// Why `name` in `folder` is not what the copy needs there.
std::string WhatStandsThere(int folder, const std::string& name, const std::string& shown,
                            const char* wanted, int openError) {
  struct stat status {};
  if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(status.st_mode)) {
      return std::string("a symbolic link stands where the ") + wanted + " " + shown + " goes";
    }
    if (std::strcmp(wanted, "folder") == 0 && !S_ISDIR(status.st_mode)) {
      return "a file stands where the folder " + shown + " goes";
    }
    if (std::strcmp(wanted, "file") == 0 && !S_ISREG(status.st_mode)) {
      return "something that is no file stands where the file " + shown + " goes";
    }
  }
  return std::strerror(openError);
}

int OpenFolderBelow(int folder, const std::string& name) {
  return ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::optional<std::string> ReadDescriptor(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(status.st_size) + 1, '\0');
  std::size_t used = 0;
  while (true) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t done = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return std::nullopt;
    if (done == 0) break;
    used += static_cast<std::size_t>(done);
  }
  bytes.resize(used);
  return bytes;
}

}  // namespace

ConfinedFolder::~ConfinedFolder() {
  if (fd_ >= 0) ::close(fd_);
}

ConfinedFolder::ConfinedFolder(ConfinedFolder&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), error_(std::move(other.error_)) {
  other.fd_ = -1;
}

ConfinedFolder& ConfinedFolder::operator=(ConfinedFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
    other.fd_ = -1;
  }
  return *this;
}

ConfinedFolder ConfinedFolder::Open(const std::u16string& path, Create create) {
  const std::string native = NativePath(path);
  int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && create == Create::Yes && CreateFolders(path)) {
    fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  ConfinedFolder folder(fd, path);
  if (fd < 0) folder.error_ = "cannot open the folder " + native + ": " + std::strerror(errno);
  return folder;
}

std::optional<ConfinedFolder::NewFile> ConfinedFolder::CreateTemporary(std::string_view prefix,
                                                                       std::string* error) const {
  for (int attempt = 0; attempt < 8; ++attempt) {
    NewFile file;
    file.name = std::string(prefix) + RandomLetters();
    file.fd =
        ::openat(fd_, file.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file.fd >= 0) return file;
    if (errno != EEXIST) break;
  }
  if (error != nullptr) *error = std::strerror(errno);
  return std::nullopt;
}

int ConfinedFolder::OpenParent(std::u16string_view relativePath, bool make, std::string* leaf,
                               std::string* error) const {
  const auto components = ComponentsOf(relativePath);
  if (!components || fd_ < 0) {
    *error = "not a path inside the copy: " + StringUtility::ToUtf8(relativePath);
    return -1;
  }
  int current = fd_;
  for (std::size_t i = 0; i + 1 < components->size(); ++i) {
    const std::string& name = (*components)[i];
    int next = OpenFolderBelow(current, name);
    if (next < 0 && errno == ENOENT && make) {
      // Another download may be making the same folder meanwhile.
      if (::mkdirat(current, name.c_str(), 0777) == 0 || errno == EEXIST) {
        next = OpenFolderBelow(current, name);
      }
    }
    if (next < 0) {
      *error = WhatStandsThere(current, name, Joined(*components, i + 1), "folder", errno);
      if (current != fd_) ::close(current);
      return -1;
    }
    if (current != fd_) ::close(current);
    current = next;
  }
  *leaf = components->back();
  return current == fd_ ? ::dup(fd_) : current;
}

std::optional<std::string> ConfinedFolder::MoveInto(const std::string& temporaryName,
                                                    std::u16string_view relativePath) const {
  std::string leaf;
  std::string error;
  const int parent = OpenParent(relativePath, true, &leaf, &error);
  if (parent < 0) return error;
  struct stat status {};
  std::optional<std::string> refused;
  if (::fstatat(parent, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISREG(status.st_mode)) {
    refused = WhatStandsThere(parent, leaf, NativePath(std::u16string(relativePath)), "file", 0);
  } else if (::renameat(fd_, temporaryName.c_str(), parent, leaf.c_str()) != 0) {
    refused = std::strerror(errno);
  }
  ::close(parent);
  return refused;
}

bool ConfinedFolder::RemoveTemporary(const std::string& name) const {
  return fd_ >= 0 && ::unlinkat(fd_, name.c_str(), 0) == 0;
}

int ConfinedFolder::OpenFile(std::u16string_view relativePath) const {
  std::string leaf;
  std::string error;
  const int parent = OpenParent(relativePath, false, &leaf, &error);
  if (parent < 0) return -1;
  const int fd = ::openat(parent, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  ::close(parent);
  struct stat status {};
  if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::optional<std::string> ConfinedFolder::Read(std::u16string_view relativePath) const {
  const int fd = OpenFile(relativePath);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes = ReadDescriptor(fd);
  ::close(fd);
  return bytes;
}

bool ConfinedFolder::HoldsFolder(std::u16string_view relativePath) const {
  if (fd_ < 0) return false;
  if (relativePath.empty()) return true;
  std::string leaf;
  std::string error;
  const int parent = OpenParent(relativePath, false, &leaf, &error);
  if (parent < 0) return false;
  const int folder = OpenFolderBelow(parent, leaf);
  ::close(parent);
  if (folder < 0) return false;
  ::close(folder);
  return true;
}

std::optional<std::string> ConfinedFolder::Replace(std::u16string_view relativePath,
                                                   std::string_view bytes) const {
  std::string leaf;
  std::string error;
  const int parent = OpenParent(relativePath, false, &leaf, &error);
  if (parent < 0) return error;
  struct stat status {};
  if (::fstatat(parent, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(status.st_mode)) {
    error = WhatStandsThere(parent, leaf, NativePath(std::u16string(relativePath)), "file", ENOENT);
    ::close(parent);
    return error;
  }
  const std::string temporary = "~kestrine-new-" + RandomLetters();
  const int fd = ::openat(parent, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  std::optional<std::string> failed;
  if (fd < 0) {
    failed = std::strerror(errno);
  } else {
    const bool written = WriteToDescriptor(fd, bytes);
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
      failed = std::strerror(written ? errno : writeError);
    } else if (::renameat(parent, temporary.c_str(), parent, leaf.c_str()) != 0) {
      failed = std::strerror(errno);
    }
    if (failed) ::unlinkat(parent, temporary.c_str(), 0);
  }
  ::close(parent);
  return failed;
}

long long ConfinedFolder::FileSize(std::u16string_view relativePath) const {
  std::string leaf;
  std::string error;
  const int parent = OpenParent(relativePath, false, &leaf, &error);
  if (parent < 0) return -1;
  struct stat status {};
  const bool found =
      ::fstatat(parent, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode);
  ::close(parent);
  return found ? static_cast<long long>(status.st_size) : -1;
}

int ConfinedFolder::OpenOwnFile(std::string_view name, bool fresh) const {
  if (fd_ < 0) return -1;
  const std::string own(name);
  // No O_TRUNC yet: a second name of the file must not lose its bytes, and
  // O_NONBLOCK keeps a planted pipe from holding the run.
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::openat(fd_, own.c_str(), flags, 0666);
  struct stat status {};
  const bool plain =
      fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1;
  if (!plain) {
    if (fd >= 0) ::close(fd);
    // Whatever stands there keeps its bytes under its other name, or was a
    // link: our own file takes its place, with the bytes it held when it is
    // a plain file with a second name.
    std::optional<std::string> kept;
    if (!fresh && fd >= 0 && S_ISREG(status.st_mode)) kept = Read(StringUtility::FromUtf8(own));
    std::string error;
    const auto file = CreateTemporary("~kestrine-own-", &error);
    if (!file) return -1;
    if ((kept && !WriteToDescriptor(file->fd, *kept)) ||
        ::renameat(fd_, file->name.c_str(), fd_, own.c_str()) != 0) {
      ::close(file->fd);
      RemoveTemporary(file->name);
      return -1;
    }
    fd = file->fd;
  } else if (fresh && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, O_APPEND);
  return fd;
}

int ConfinedFolder::OpenItself() const {
  if (fd_ < 0) return -1;
  return ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int ConfinedFolder::OpenOwnFileForReading(std::string_view name) const {
  if (fd_ < 0) return -1;
  const int fd =
      ::openat(fd_, std::string(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace kestrine
