#include "encoding/gzip_member.h"

#include <zlib.h>

namespace kestrine {

struct GzipMember::Stream {
  z_stream z{};
  bool open = false;
};

GzipMember::GzipMember(Sink sink, int level)
    : sink_(std::move(sink)), stream_(std::make_unique<Stream>()) {
  // 16 + 15 window bits: a gzip header and trailer around the deflate data.
  stream_->open =
      deflateInit2(&stream_->z, level, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

GzipMember::~GzipMember() {
  if (stream_->open) deflateEnd(&stream_->z);
}

void GzipMember::Add(std::string_view bytes) {
  if (!bytes.empty()) Deflate(bytes, Z_NO_FLUSH);
}

void GzipMember::Finish() {
  Deflate({}, Z_FINISH);
  if (stream_->open) deflateEnd(&stream_->z);
  stream_->open = false;
}

void GzipMember::Deflate(std::string_view bytes, int flush) {
  if (!stream_->open) return;
  z_stream& z = stream_->z;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  char out[64 * 1024];
  int result = Z_OK;
  do {
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = sizeof out;
    result = deflate(&z, flush);
    const std::size_t produced = sizeof out - z.avail_out;
    if (produced > 0) sink_(std::string_view(out, produced));
  } while (z.avail_out == 0 || (flush == Z_FINISH && result == Z_OK));
}

}  // namespace kestrine
