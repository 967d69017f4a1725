#include "archive/warc_replay.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "archive/warc_reader.h"
#include "encoding/chunked_decoder.h"
#include "runtime/string_utility.h"
#include "runtime/unique_fd.h"

namespace kestrine {

namespace {

// A record's head and the head of its HTTP message are bounded as the
// reader bounds them.
constexpr std::uint64_t kMaxHeads = 512 * 1024;

// The member at `offset`, unpacked, within `maxBytes`.
std::optional<std::string> Inflated(const std::string& path, std::uint64_t offset,
                                    std::uint64_t length, std::uint64_t maxBytes) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file || length > maxBytes) return std::nullopt;
  std::string packed(length, '\0');
  std::size_t have = 0;
  while (have < packed.size()) {
    const ssize_t got = ::pread(file.get(), packed.data() + have, packed.size() - have,
                                static_cast<off_t>(offset + have));
    if (got <= 0) return std::nullopt;
    have += static_cast<std::size_t>(got);
  }
  z_stream z{};
  if (inflateInit2(&z, 16 + 15) != Z_OK) return std::nullopt;
  std::string unpacked;
  char buffer[64 * 1024];
  z.next_in = reinterpret_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  int result = Z_OK;
  while (result == Z_OK && unpacked.size() <= maxBytes) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    unpacked.append(buffer, sizeof buffer - z.avail_out);
  }
  inflateEnd(&z);
  if (result != Z_STREAM_END) return std::nullopt;
  return unpacked;
}

// A header's value; empty when there is none, or when it holds a control
// character (a lone line end would let it add headers of its own to what
// the viewer sends).
std::string HeaderValue(std::string_view head, std::string_view name) {
  const std::string lower = StringUtility::ToLowerAscii(std::string(head));
  const std::size_t at = lower.find("\r\n" + std::string(name) + ":");
  if (at == std::string::npos) return {};
  const std::size_t start = at + 3 + name.size();
  const std::size_t end = head.find("\r\n", start);
  std::string value = StringUtility::TrimAscii(std::string(head.substr(start, end - start)));
  for (const unsigned char c : value) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) return {};
  }
  return value;
}

// A response record taken apart: the WARC head, the HTTP head, the body.
std::optional<WarcReplay::Response> ResponseIn(std::string_view record) {
  const std::size_t warcEnd = record.find("\r\n\r\n");
  if (warcEnd == std::string_view::npos) return std::nullopt;
  const std::string_view block = record.substr(warcEnd + 4);
  const std::size_t httpEnd = block.find("\r\n\r\n");
  if (httpEnd == std::string_view::npos || !block.starts_with("HTTP/")) return std::nullopt;
  const std::string_view head = block.substr(0, httpEnd + 2);
  WarcReplay::Response response;
  const std::size_t space = head.find(' ');
  response.status = space == std::string_view::npos ? 0 : std::atoi(head.data() + space + 1);
  response.contentType = HeaderValue(head, "content-type");
  response.contentEncoding = HeaderValue(head, "content-encoding");
  const std::string_view rest = block.substr(httpEnd + 4);
  // The block may end with the record's closing line ends: the WARC head's
  // length says where it ends.
  const std::string length = HeaderValue(record.substr(0, warcEnd + 2), "content-length");
  const std::uint64_t blockLength = std::strtoull(length.c_str(), nullptr, 10);
  const std::string_view body =
      rest.substr(0, blockLength >= httpEnd + 4 ? blockLength - httpEnd - 4 : 0);
  if (StringUtility::ToLowerAscii(HeaderValue(head, "transfer-encoding")).find("chunked") ==
      std::string::npos) {
    response.body.assign(body);
    return response;
  }
  ChunkedDecoder chunks([&response](std::string_view data) { response.body.append(data); });
  chunks.Add(body);
  if (chunks.Failed()) return std::nullopt;
  return response;
}

}  // namespace

WarcReplay WarcReplay::Load(const std::vector<std::string>& files) {
  WarcReplay replay;
  for (const std::string& path : files) {
    const std::size_t number = replay.files_.size();
    replay.files_.push_back(path);
    // A file cut short keeps what it holds before the cut.
    WarcReader::ForEach(
        path,
        [&](const WarcReader::Record& record) {
          if (record.Field("WARC-Type") != "response" || record.httpStatus < 200 ||
              record.httpStatus > 299 || record.blockLength > kMaxBody) {
            return;
          }
          const std::string address = record.Field("WARC-Target-URI");
          if (address.empty()) return;
          const Place place{number, record.offset, record.length};
          replay.byAddress_[address] = place;
          replay.byPath_[address.substr(0, address.find('?'))] = place;
        },
        WarcReader::Reading::Heads);
  }
  return replay;
}

std::optional<WarcReplay::Response> WarcReplay::Find(const std::string& address) const {
  const auto found = byAddress_.find(address);
  if (found == byAddress_.end()) return std::nullopt;
  return Read(found->second);
}

std::optional<WarcReplay::Response> WarcReplay::FindAnyQuery(const std::string& address) const {
  const auto found = byPath_.find(address.substr(0, address.find('?')));
  if (found == byPath_.end()) return std::nullopt;
  return Read(found->second);
}

std::optional<WarcReplay::Response> WarcReplay::Read(const Place& place) const {
  const auto record =
      Inflated(files_[place.file], place.offset, place.length, kMaxBody + kMaxHeads);
  if (!record) return std::nullopt;
  return ResponseIn(*record);
}

}  // namespace kestrine
