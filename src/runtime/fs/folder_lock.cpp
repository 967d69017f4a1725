#include "runtime/fs/folder_lock.h"

#include <sys/file.h>

#include <cerrno>
#include <cstring>

#include "runtime/fs/local_files.h"

namespace kestrine {

Result<FolderLock> FolderLock::Take(const ConfinedFolder& folder) {
  const std::string shown = NativePath(folder.path());
  // A descriptor of its own: the lock belongs to an open file, and the
  // folder's own descriptor is shared with whatever reads the copy.
  UniqueFd fd = folder.OpenItself();
  if (!fd) return Error{ErrorKind::Io, "cannot open " + shown + ": " + std::strerror(errno)};
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return Error{ErrorKind::InUse, "another run is writing the copy in " + shown};
    }
    return Error{ErrorKind::Io, "cannot lock the copy in " + shown + ": " + std::strerror(errno)};
  }
  return FolderLock(std::move(fd));
}

}  // namespace kestrine
