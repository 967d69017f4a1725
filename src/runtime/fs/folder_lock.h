#pragma once

#include "runtime/fs/confined_folder.h"
#include "runtime/result.h"
#include "runtime/unique_fd.h"

namespace kestrine {

// Keeps a copy to one run at a time: a lock on the site folder itself, which
// the kernel lets go of when the process ends, however it ends, and which
// leaves no file behind. Two runs writing one copy would each place files
// the other's pages name.
class FolderLock {
 public:
  FolderLock() = default;
  // The lock of this folder, or an error of kind InUse when another run
  // holds it (Io when it cannot be had at all).
  static Result<FolderLock> Take(const ConfinedFolder& folder);

  bool held() const { return fd_.valid(); }
  void Release() { fd_.Reset(); }

 private:
  explicit FolderLock(UniqueFd fd) : fd_(std::move(fd)) {}

  UniqueFd fd_;
};

}  // namespace kestrine
