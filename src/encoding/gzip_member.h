#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace kestrine {

// One gzip member (RFC 1952) written piece by piece: what a .warc.gz holds
// per record, so a reader can start at any record's offset. The compressed
// bytes go to the sink as they come.
class GzipMember {
 public:
  using Sink = std::function<void(std::string_view)>;
  explicit GzipMember(Sink sink, int level = 6);
  ~GzipMember();
  GzipMember(const GzipMember&) = delete;
  GzipMember& operator=(const GzipMember&) = delete;

  void Add(std::string_view bytes);
  // Ends the member: its trailer goes to the sink.
  void Finish();

 private:
  void Deflate(std::string_view bytes, int flush);

  struct Stream;
  Sink sink_;
  std::unique_ptr<Stream> stream_;
};

}  // namespace kestrine
