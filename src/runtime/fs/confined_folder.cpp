#include "runtime/fs/confined_folder.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
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

Result<std::string> ReadDescriptor(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return Error{ErrorKind::NotAFile, "not a plain file"};
  }
  std::string bytes(static_cast<std::size_t>(status.st_size) + 1, '\0');
  std::size_t used = 0;
  while (true) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t done = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return Error{ErrorKind::Io, std::strerror(errno)};
    if (done == 0) break;
    used += static_cast<std::size_t>(done);
  }
  bytes.resize(used);
  return bytes;
}

Error IoError() { return Error{ErrorKind::Io, std::strerror(errno)}; }

}  // namespace

ConfinedFolder ConfinedFolder::Open(const std::u16string& path, Create create) {
  const std::string native = NativePath(path);
  UniqueFd fd(::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd && errno == ENOENT && create == Create::Yes && CreateFolders(path)) {
    fd.Reset(::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  const int openError = errno;
  ConfinedFolder folder(std::move(fd), path);
  if (!folder.IsOpen()) {
    folder.error_ = "cannot open the folder " + native + ": " + std::strerror(openError);
  }
  return folder;
}

Result<ConfinedFolder::NewFile> ConfinedFolder::CreateTemporary(std::string_view prefix) const {
  for (int attempt = 0; attempt < 8; ++attempt) {
    NewFile file;
    file.name = std::string(prefix) + RandomLetters();
    file.fd.Reset(::openat(fd_.get(), file.name.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.fd) return file;
    if (errno != EEXIST) break;
  }
  return IoError();
}

Result<UniqueFd> ConfinedFolder::CreateAnonymous() const {
  // Such a file is named through /proc; without it (a bare chroot) it
  // could never be named, and the caller takes the other way.
  static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
  if (!procFds) return Error{ErrorKind::Refused, "/proc is not mounted"};
  UniqueFd file(::openat(fd_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
  if (!file) return IoError();
  return file;
}

Status ConfinedFolder::LinkInto(int anonymousFd, std::u16string_view relativePath) const {
  Result<Parent> parent = OpenParent(relativePath, true);
  if (!parent) return parent.error();
  const int folder = parent->fd.get();
  const std::string& leaf = parent->leaf;
  struct stat status {};
  const bool taken = ::fstatat(folder, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
  if (taken && !S_ISREG(status.st_mode)) {
    return Error{
        ErrorKind::NotAFile,
        WhatStandsThere(folder, leaf, NativePath(std::u16string(relativePath)), "file", 0)};
  }
  // A descriptor's own link names the file without the privilege that
  // AT_EMPTY_PATH asks for.
  const std::string self = "/proc/self/fd/" + std::to_string(anonymousFd);
  if (!taken && ::linkat(AT_FDCWD, self.c_str(), folder, leaf.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return Ok();
  }
  if (!taken && errno != EEXIST) return IoError();
  // A file already there (an update) is replaced in one step, by way of a
  // name beside it: renameat within one folder never follows a link.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string aside = "~kestrine-link-" + RandomLetters();
    if (::linkat(AT_FDCWD, self.c_str(), folder, aside.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return IoError();
    }
    if (::renameat(folder, aside.c_str(), folder, leaf.c_str()) != 0) {
      const Error error = IoError();
      ::unlinkat(folder, aside.c_str(), 0);
      return error;
    }
    return Ok();
  }
  return IoError();
}

Result<ConfinedFolder::Parent> ConfinedFolder::OpenParent(std::u16string_view relativePath,
                                                          bool make) const {
  const auto components = ComponentsOf(relativePath);
  if (!components || !fd_) {
    return Error{ErrorKind::Refused,
                 "not a path inside the copy: " + StringUtility::ToUtf8(relativePath)};
  }
  UniqueFd current(::dup(fd_.get()));
  for (std::size_t i = 0; i + 1 < components->size(); ++i) {
    const std::string& name = (*components)[i];
    UniqueFd next(OpenFolderBelow(current.get(), name));
    if (!next && errno == ENOENT && make) {
      // Another download may be making the same folder meanwhile.
      if (::mkdirat(current.get(), name.c_str(), 0777) == 0 || errno == EEXIST) {
        next.Reset(OpenFolderBelow(current.get(), name));
      }
    }
    if (!next) {
      return Error{
          ErrorKind::NotAFile,
          WhatStandsThere(current.get(), name, Joined(*components, i + 1), "folder", errno)};
    }
    current = std::move(next);
  }
  return Parent{std::move(current), components->back()};
}

Status ConfinedFolder::MoveInto(const std::string& temporaryName,
                                std::u16string_view relativePath) const {
  Result<Parent> parent = OpenParent(relativePath, true);
  if (!parent) return parent.error();
  const int folder = parent->fd.get();
  const std::string& leaf = parent->leaf;
  struct stat status {};
  if (::fstatat(folder, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISREG(status.st_mode)) {
    return Error{
        ErrorKind::NotAFile,
        WhatStandsThere(folder, leaf, NativePath(std::u16string(relativePath)), "file", 0)};
  }
  if (::renameat(fd_.get(), temporaryName.c_str(), folder, leaf.c_str()) != 0) return IoError();
  return Ok();
}

bool ConfinedFolder::RemoveTemporary(const std::string& name) const {
  return fd_ && ::unlinkat(fd_.get(), name.c_str(), 0) == 0;
}

UniqueFd ConfinedFolder::OpenFile(std::u16string_view relativePath) const {
  Result<Parent> parent = OpenParent(relativePath, false);
  if (!parent) return UniqueFd();
  UniqueFd fd(::openat(parent->fd.get(), parent->leaf.c_str(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (fd && (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))) fd.Reset();
  return fd;
}

Result<std::string> ConfinedFolder::Read(std::u16string_view relativePath) const {
  const UniqueFd fd = OpenFile(relativePath);
  if (!fd) return Error{ErrorKind::Missing, "no file " + StringUtility::ToUtf8(relativePath)};
  return ReadDescriptor(fd.get());
}

bool ConfinedFolder::HoldsFolder(std::u16string_view relativePath) const {
  if (!fd_) return false;
  if (relativePath.empty()) return true;
  Result<Parent> parent = OpenParent(relativePath, false);
  if (!parent) return false;
  return UniqueFd(OpenFolderBelow(parent->fd.get(), parent->leaf)).valid();
}

Status ConfinedFolder::Replace(std::u16string_view relativePath, std::string_view bytes) const {
  Result<Parent> parent = OpenParent(relativePath, false);
  if (!parent) return parent.error();
  const int folder = parent->fd.get();
  const std::string& leaf = parent->leaf;
  struct stat status {};
  if (::fstatat(folder, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(status.st_mode)) {
    return Error{
        ErrorKind::NotAFile,
        WhatStandsThere(folder, leaf, NativePath(std::u16string(relativePath)), "file", ENOENT)};
  }
  const std::string temporary = "~kestrine-new-" + RandomLetters();
  UniqueFd fd(::openat(folder, temporary.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) return IoError();
  const bool written = WriteToDescriptor(fd.get(), bytes);
  const int writeError = errno;
  const bool closed = ::close(fd.Release()) == 0;
  if (!written || !closed || ::renameat(folder, temporary.c_str(), folder, leaf.c_str()) != 0) {
    const Error error{ErrorKind::Io, std::strerror(written && closed ? errno : writeError)};
    ::unlinkat(folder, temporary.c_str(), 0);
    return error;
  }
  return Ok();
}

long long ConfinedFolder::FileSize(std::u16string_view relativePath) const {
  Result<Parent> parent = OpenParent(relativePath, false);
  if (!parent) return -1;
  struct stat status {};
  const bool found =
      ::fstatat(parent->fd.get(), parent->leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(status.st_mode);
  return found ? static_cast<long long>(status.st_size) : -1;
}

UniqueFd ConfinedFolder::OpenOwnFile(std::string_view name, bool fresh) const {
  if (!fd_) return UniqueFd();
  const std::string own(name);
  // No O_TRUNC yet: a second name of the file must not lose its bytes, and
  // O_NONBLOCK keeps a planted pipe from holding the run.
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd fd(::openat(fd_.get(), own.c_str(), flags, 0666));
  struct stat status {};
  const bool plain =
      fd && ::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1;
  if (!plain) {
    // Whatever stands there keeps its bytes under its other name, or was a
    // link: our own file takes its place, with the bytes it held when it is
    // a plain file with a second name.
    std::optional<std::string> kept;
    if (!fresh && fd && S_ISREG(status.st_mode)) {
      if (Result<std::string> bytes = Read(StringUtility::FromUtf8(own))) kept = std::move(*bytes);
    }
    Result<NewFile> file = CreateTemporary("~kestrine-own-");
    if (!file) return UniqueFd();
    if ((kept && !WriteToDescriptor(file->fd.get(), *kept)) ||
        ::renameat(fd_.get(), file->name.c_str(), fd_.get(), own.c_str()) != 0) {
      RemoveTemporary(file->name);
      return UniqueFd();
    }
    fd = std::move(file->fd);
  } else if (fresh && ::ftruncate(fd.get(), 0) != 0) {
    return UniqueFd();
  }
  ::fcntl(fd.get(), F_SETFL, O_APPEND);
  return fd;
}

UniqueFd ConfinedFolder::OpenOwnFileForReading(std::string_view name) const {
  if (!fd_) return UniqueFd();
  UniqueFd fd(::openat(fd_.get(), std::string(name).c_str(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (fd && (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))) fd.Reset();
  return fd;
}

UniqueFd ConfinedFolder::OpenItself() const {
  if (!fd_) return UniqueFd();
  return UniqueFd(::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace kestrine
