#include "runtime/fs/spill_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace kestrine {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// An unnamed file in the temporary folder: O_TMPFILE where the file system
// has it, else a named one removed at once.
UniqueFd TemporaryFile() {
  const char* folder = std::getenv("TMPDIR");
  const std::string where = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  UniqueFd fd(::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd) return fd;
  std::string name = where + "/kestrine-XXXXXX";
  fd.Reset(::mkostemp(name.data(), O_CLOEXEC));
  if (fd) ::unlink(name.c_str());
  return fd;
}

}  // namespace

bool SpillBuffer::Append(std::string_view bytes) {
  if (failed_) return false;
  size_ += bytes.size();
  if (!file_ && memory_.size() + bytes.size() <= memoryBytes_) {
    memory_.append(bytes);
    return true;
  }
  if (!file_ && !Spill()) return false;
  if (!WriteAll(file_.get(), bytes)) failed_ = true;
  return !failed_;
}

bool SpillBuffer::Take(std::string bytes) {
  if (size_ != 0 || failed_ || bytes.size() > memoryBytes_) return Append(bytes);
  size_ = bytes.size();
  memory_ = std::move(bytes);
  return true;
}

bool SpillBuffer::Spill() {
  file_ = TemporaryFile();
  if (!file_ || !WriteAll(file_.get(), memory_)) {
    failed_ = true;
    return false;
  }
  memory_.clear();
  memory_.shrink_to_fit();
  return true;
}

bool SpillBuffer::ForEach(const std::function<void(std::string_view)>& visit) const {
  if (!file_) {
    if (!memory_.empty()) visit(memory_);
    return true;
  }
  char piece[64 * 1024];
  std::uint64_t at = 0;
  while (at < size_) {
    const ssize_t got = ::pread(file_.get(), piece, sizeof piece, static_cast<off_t>(at));
    if (got <= 0) return false;
    visit(std::string_view(piece, static_cast<std::size_t>(got)));
    at += static_cast<std::uint64_t>(got);
  }
  return true;
}

std::string SpillBuffer::Head(std::size_t count) const {
  if (!file_) return memory_.substr(0, count);
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(count, size_)), '\0');
  const ssize_t got = ::pread(file_.get(), head.data(), head.size(), 0);
  head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return head;
}

}  // namespace kestrine
