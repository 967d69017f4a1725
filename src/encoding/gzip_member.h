#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kestrine {

// One gzip member (RFC 1952) written piece by piece: what a .warc.gz holds
// per record, so a reader can start at any record's offset. The compressed
// bytes go to the sink as they come.
class GzipMember {
 public:
  using Sink = std::function<void(std::string_view)>;
  // `sizeHint`: about how many bytes the member will hold (0: unknown).
  explicit GzipMember(Sink sink, int level = 6, std::uint64_t sizeHint = 0);
  ~GzipMember();
  GzipMember(const GzipMember&) = delete;
  GzipMember& operator=(const GzipMember&) = delete;

  void Add(std::string_view bytes);
  // Ends the member: its trailer goes to the sink.
  void Finish();

  // One member of bytes held whole, at `level` (0 to 9), by a compressor
  // that needs them whole and does the same work in about half the time.
  static std::string Whole(std::string_view bytes, int level);

  struct Stream;

 private:
  void Deflate(std::string_view bytes, int flush);

  Sink sink_;
  Stream* stream_ = nullptr;
  std::unique_ptr<Stream> owned_;
  bool shared_ = false;
  bool active_ = false;
};

}  // namespace kestrine
