#include "encoding/gzip_member.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>

namespace kestrine {

// A thread's deflate state, made once and reset for each member: an
// archive writes a member per record, and making the state afresh (its
// window and tables) would cost more than compressing a small record. A
// small member gets a small hash table, which a reset clears whole.
struct GzipMember::Stream {
  z_stream z{};
  bool open = false;
  int level = -1;
  int memLevel = -1;
  ~Stream() {
    if (open) deflateEnd(&z);
  }
  bool Start(int wantedLevel, int wantedMemLevel) {
    if (open && level == wantedLevel && memLevel == wantedMemLevel) {
      return deflateReset(&z) == Z_OK;
    }
    if (open) deflateEnd(&z);
    // 16 + 15 window bits: a gzip header and trailer around the deflate data.
    open = deflateInit2(&z, wantedLevel, Z_DEFLATED, 16 + 15, wantedMemLevel, Z_DEFAULT_STRATEGY) ==
           Z_OK;
    level = wantedLevel;
    memLevel = wantedMemLevel;
    return open;
  }
};

namespace {

constexpr std::uint64_t kSmallMember = 16 * 1024;

// The states of this thread, one per kind of member, and whether one is in
// use (a member nested in another gets a state of its own).
struct ThreadStreams {
  GzipMember::Stream small;
  GzipMember::Stream large;
  bool busy = false;
};
thread_local ThreadStreams threadStreams;

}  // namespace

namespace {

// This thread's whole-buffer compressors, one per level, made once.
struct WholeCompressors {
  std::array<libdeflate_compressor*, 10> byLevel{};
  ~WholeCompressors() {
    for (libdeflate_compressor* compressor : byLevel) libdeflate_free_compressor(compressor);
  }
  libdeflate_compressor* At(int level) {
    libdeflate_compressor*& compressor = byLevel[static_cast<std::size_t>(level)];
    if (compressor == nullptr) compressor = libdeflate_alloc_compressor(level);
    return compressor;
  }
};
thread_local WholeCompressors wholeCompressors;

}  // namespace

std::string GzipMember::Whole(std::string_view bytes, int level) {
  level = std::clamp(level, 0, 9);
  libdeflate_compressor* compressor = wholeCompressors.At(level);
  if (compressor != nullptr) {
    std::string member(libdeflate_gzip_compress_bound(compressor, bytes.size()), '\0');
    const std::size_t size = libdeflate_gzip_compress(compressor, bytes.data(), bytes.size(),
                                                      member.data(), member.size());
    if (size > 0) {
      member.resize(size);
      return member;
    }
  }
  // Out of memory for the compressor: the streaming way.
  std::string member;
  GzipMember stream([&member](std::string_view out) { member.append(out); }, level, bytes.size());
  stream.Add(bytes);
  stream.Finish();
  return member;
}

GzipMember::GzipMember(Sink sink, int level, std::uint64_t sizeHint) : sink_(std::move(sink)) {
  const bool small = sizeHint > 0 && sizeHint < kSmallMember;
  if (!threadStreams.busy) {
    threadStreams.busy = true;
    shared_ = true;
    stream_ = small ? &threadStreams.small : &threadStreams.large;
  } else {
    owned_ = std::make_unique<Stream>();
    stream_ = owned_.get();
  }
  active_ = stream_->Start(level, small ? 4 : 8);
}

GzipMember::~GzipMember() {
  if (shared_) threadStreams.busy = false;
}

void GzipMember::Add(std::string_view bytes) {
  if (!bytes.empty()) Deflate(bytes, Z_NO_FLUSH);
}

void GzipMember::Finish() {
  Deflate({}, Z_FINISH);
  active_ = false;
}

void GzipMember::Deflate(std::string_view bytes, int flush) {
  if (!active_) return;
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
