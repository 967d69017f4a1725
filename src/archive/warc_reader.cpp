#include "archive/warc_reader.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <memory>
#include <optional>

#include "encoding/chunked_decoder.h"
#include "encoding/digest.h"
#include "runtime/http_head.h"
#include "runtime/string_utility.h"
#include "runtime/unique_fd.h"

namespace kestrine {

namespace {

constexpr std::size_t kMaxHeadBytes = 256 * 1024;

// The decompressed bytes of one member, taken apart as they come: the
// WARC head, then the block (and inside an HTTP block its head and body).
class RecordParser {
 public:
  RecordParser(std::uint64_t offset, bool whole) : whole_(whole) { record_.offset = offset; }

  bool Add(std::string_view bytes) {
    while (!bytes.empty() && !failed_) {
      if (!headDone_) {
        bytes = TakeHead(bytes);
      } else if (blockLeft_ > 0) {
        const std::size_t take = std::min<std::uint64_t>(blockLeft_, bytes.size());
        Block(bytes.substr(0, take));
        blockLeft_ -= take;
        bytes.remove_prefix(take);
      } else {
        bytes = {};  // the two line ends that close the record
      }
    }
    return !failed_;
  }

  std::optional<WarcReader::Record> Finish(std::uint64_t length) {
    if (failed_ || !headDone_ || blockLeft_ > 0) return std::nullopt;
    record_.length = length;
    if (whole_) {
      record_.blockDigest = block_.WarcLabel();
      if (http_) record_.payloadDigest = payload_.WarcLabel();
    }
    return std::move(record_);
  }

 private:
  std::string_view TakeHead(std::string_view bytes) {
    const std::size_t before = head_.size();
    head_.append(bytes.substr(0, kMaxHeadBytes));
    const std::size_t end = head_.find("\r\n\r\n");
    if (end == std::string::npos) {
      failed_ = head_.size() >= kMaxHeadBytes;
      return {};
    }
    ParseHead(head_.substr(0, end));
    headDone_ = true;
    const std::size_t used = end + 4 - before;
    return bytes.substr(used);
  }

  void ParseHead(const std::string& head) {
    if (!head.starts_with("WARC/1.")) {
      failed_ = true;
      return;
    }
    std::size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
      const std::size_t next = head.find("\r\n", at + 2);
      const std::string line = head.substr(at + 2, next - at - 2);
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) {
        record_.fields.emplace_back(line.substr(0, colon),
                                    StringUtility::TrimAscii(line.substr(colon + 1)));
      }
      at = next;
    }
    const std::string length = record_.Field("Content-Length");
    blockLeft_ = record_.blockLength = std::strtoull(length.c_str(), nullptr, 10);
    const std::string type = record_.Field("Content-Type");
    http_ = type.starts_with("application/http");
  }

  void Block(std::string_view bytes) {
    if (whole_) block_.Add(bytes);
    if (!http_) return;
    if (!httpHeadDone_) {
      const std::size_t before = httpHead_.size();
      httpHead_.append(bytes.substr(0, kMaxHeadBytes));
      const std::size_t end = httpHead_.find("\r\n\r\n");
      if (end == std::string::npos) {
        failed_ = httpHead_.size() >= kMaxHeadBytes;
        return;
      }
      ParseHttpHead(httpHead_.substr(0, end + 2));
      httpHeadDone_ = true;
      bytes.remove_prefix(end + 4 - before);
    }
    if (!whole_) return;
    if (chunks_) {
      chunks_->Add(bytes);
    } else {
      Payload(bytes);
    }
  }

  void Payload(std::string_view bytes) {
    payload_.Add(bytes);
    constexpr std::size_t kKept = 64 * 1024;
    if (record_.payloadHead.size() < kKept) {
      record_.payloadHead.append(bytes.substr(0, kKept - record_.payloadHead.size()));
    }
  }

  void ParseHttpHead(const std::string& head) {
    const std::size_t space = head.find(' ');
    if (head.starts_with("HTTP/") && space != std::string::npos) {
      record_.httpStatus = std::atoi(head.c_str() + space + 1);
    }
    record_.httpContentType = std::string(HttpHead::Field(head, "Content-Type"));
    if (HttpHead::Holds(HttpHead::Field(head, "Transfer-Encoding"), "chunked")) {
      chunks_ = std::make_unique<ChunkedDecoder>([this](std::string_view data) { Payload(data); });
    }
  }

  const bool whole_;
  WarcReader::Record record_;
  std::string head_;
  std::string httpHead_;
  bool headDone_ = false;
  bool httpHeadDone_ = false;
  bool http_ = false;
  bool failed_ = false;
  std::uint64_t blockLeft_ = 0;
  Digest block_{Digest::Kind::Sha1};
  Digest payload_{Digest::Kind::Sha1};
  std::unique_ptr<ChunkedDecoder> chunks_;
};

struct Inflater {
  z_stream z{};
  Inflater() { inflateInit2(&z, 16 + 15); }
  ~Inflater() { inflateEnd(&z); }
};

}  // namespace

std::string WarcReader::Record::Field(const std::string& name) const {
  for (const auto& [key, value] : fields) {
    if (HttpHead::SameName(key, name)) return value;
  }
  return {};
}

Status WarcReader::ForEach(const std::string& path, const Visit& visit, Reading reading) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return Error{ErrorKind::Missing, "cannot open " + path};
  std::vector<char> input(256 * 1024);
  std::vector<char> output(256 * 1024);
  std::uint64_t fileOffset = 0;  // of input[0]
  std::size_t have = 0;
  std::size_t used = 0;
  while (true) {
    if (used == have) {
      fileOffset += have;
      used = 0;
      const ssize_t got = ::read(file.get(), input.data(), input.size());
      if (got < 0) return Error{ErrorKind::Io, "cannot read " + path};
      if (got == 0) return Ok();
      have = static_cast<std::size_t>(got);
    }
    const std::uint64_t start = fileOffset + used;
    RecordParser parser(start, reading == Reading::Whole);
    Inflater inflater;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
      if (used == have) {
        fileOffset += have;
        used = 0;
        const ssize_t got = ::read(file.get(), input.data(), input.size());
        if (got <= 0) {
          return Error{ErrorKind::Refused,
                       "the record at offset " + std::to_string(start) + " is cut short"};
        }
        have = static_cast<std::size_t>(got);
      }
      inflater.z.next_in = reinterpret_cast<Bytef*>(input.data() + used);
      inflater.z.avail_in = static_cast<uInt>(have - used);
      inflater.z.next_out = reinterpret_cast<Bytef*>(output.data());
      inflater.z.avail_out = static_cast<uInt>(output.size());
      result = inflate(&inflater.z, Z_NO_FLUSH);
      used = have - inflater.z.avail_in;
      if (result != Z_OK && result != Z_STREAM_END) {
        return Error{ErrorKind::Refused,
                     "the record at offset " + std::to_string(start) + " is not gzip"};
      }
      const std::size_t produced = output.size() - inflater.z.avail_out;
      if (!parser.Add(std::string_view(output.data(), produced))) {
        return Error{ErrorKind::Refused,
                     "the record at offset " + std::to_string(start) + " is no WARC record"};
      }
    }
    auto record = parser.Finish(fileOffset + used - start);
    if (!record) {
      return Error{ErrorKind::Refused,
                   "the record at offset " + std::to_string(start) + " is cut short"};
    }
    visit(*record);
  }
}

}  // namespace kestrine
