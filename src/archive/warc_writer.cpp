#include "archive/warc_writer.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "kestrine_version.h"
#include "runtime/wall_clock.h"

namespace kestrine {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The pieces in order, in as few calls as the kernel allows.
bool WriteAll(int fd, std::vector<std::string_view> pieces) {
  std::size_t first = 0;
  while (first < pieces.size()) {
    std::vector<iovec> vectors;
    for (std::size_t i = first; i < pieces.size() && vectors.size() < IOV_MAX; ++i) {
      vectors.push_back({const_cast<char*>(pieces[i].data()), pieces[i].size()});
    }
    const ssize_t written = ::writev(fd, vectors.data(), static_cast<int>(vectors.size()));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    // Nothing taken of something to take: a call again would do the same.
    if (written == 0 && !pieces[first].empty()) return false;
    // What a short write left goes in the next call.
    auto left = static_cast<std::size_t>(written);
    while (first < pieces.size() && left >= pieces[first].size()) {
      left -= pieces[first].size();
      ++first;
    }
    if (first < pieces.size()) pieces[first].remove_prefix(left);
  }
  return true;
}

std::string NameOnly(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string WarcWriter::FileName(const std::string& base, int number) {
  if (number < 0) return base + ".warc.gz";
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "-%05d.warc.gz", number);
  return base + suffix;
}

Status WarcWriter::OpenNextLocked() {
  if (number_ == -2) {
    number_ = settings_.firstNumber >= 0 ? settings_.firstNumber : settings_.maxBytes > 0 ? 0 : -1;
  } else {
    number_ = number_ < 0 ? 1 : number_ + 1;
  }
  const std::string path = FileName(settings_.base, number_);
  // A file of this name is an earlier run's: never written over.
  file_.Reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!file_) {
    return Error{ErrorKind::Io, "cannot create " + path + ": " + std::strerror(errno)};
  }
  name_ = NameOnly(path);
  size_ = 0;
  files_.push_back(path);
  WarcRecord info;
  info.type = "warcinfo";
  info.id = WarcRecord::NewId();
  info.date = WallClock::W3cNow();
  info.fields = {{"WARC-Filename", name_}, {"Content-Type", "application/warc-fields"}};
  info.head = "software: Kestrine/" KESTRINE_VERSION
              "\r\nformat: WARC File Format 1.1\r\nconformsTo: "
              "http://iipc.github.io/warc-specifications/specifications/warc-format/warc-1.1/\r\n";
  for (const auto& [name, value] : settings_.info) {
    info.head.append(name).append(": ").append(value).append("\r\n");
  }
  Placed placed;
  return AppendLocked(info.Encode(), placed);
}

Status WarcWriter::AppendLocked(const SpillBuffer& member, Placed& placed) {
  placed = {name_, size_, member.size()};
  bool written = true;
  member.ForEach(
      [&](std::string_view bytes) { written = written && WriteAll(file_.get(), bytes); });
  if (!written) return Error{ErrorKind::Io, "cannot write " + name_ + ": " + std::strerror(errno)};
  size_ += member.size();
  total_ += member.size();
  return Ok();
}

Result<std::vector<WarcWriter::Placed>> WarcWriter::Write(const std::vector<WarcRecord>& records) {
  std::vector<SpillBuffer> members;
  members.reserve(records.size());
  for (const WarcRecord& record : records) members.push_back(record.Encode());
  std::lock_guard lock(mutex_);
  if (!file_ || (settings_.maxBytes > 0 && size_ >= settings_.maxBytes)) {
    if (const Status opened = OpenNextLocked(); !opened) return opened.error();
  }
  std::vector<Placed> placed(members.size());
  // Members in memory go in one call, which keeps a request beside its
  // response for a reader even if the process is killed right after.
  const bool together = std::all_of(members.begin(), members.end(),
                                    [](const SpillBuffer& member) { return member.InMemory(); });
  if (together) {
    std::vector<std::string_view> pieces;
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
      placed[i] = {name_, size_ + bytes, members[i].size()};
      pieces.push_back(*members[i].InMemory());
      bytes += members[i].size();
    }
    if (!WriteAll(file_.get(), pieces)) {
      return Error{ErrorKind::Io, "cannot write " + name_ + ": " + std::strerror(errno)};
    }
    size_ += bytes;
    total_ += bytes;
    return placed;
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (const Status appended = AppendLocked(members[i], placed[i]); !appended) {
      return appended.error();
    }
  }
  return placed;
}

std::vector<std::string> WarcWriter::Files() const {
  std::lock_guard lock(mutex_);
  return files_;
}

std::uint64_t WarcWriter::BytesWritten() const {
  std::lock_guard lock(mutex_);
  return total_;
}

}  // namespace kestrine
