#include "encoding/gunzip.h"

#include <zlib.h>

#include <algorithm>

namespace kestrine {

Result<std::string> Gunzip(std::string_view compressed, std::size_t maxBytes) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return Error{ErrorKind::Io, "no inflater"};
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(std::min<std::size_t>(compressed.size(), UINT32_MAX));
  std::string out;
  int result = Z_OK;
  while (result == Z_OK) {
    if (out.size() >= maxBytes) {
      inflateEnd(&stream);
      return Error{ErrorKind::TooLarge,
                   "unpacks to more than " + std::to_string(maxBytes) + " bytes"};
    }
    char block[16384];
    stream.next_out = reinterpret_cast<Bytef*>(block);
    stream.avail_out = static_cast<uInt>(std::min(sizeof block, maxBytes - out.size() + 1));
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(block, static_cast<std::size_t>(stream.next_out - reinterpret_cast<Bytef*>(block)));
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) return Error{ErrorKind::Refused, "not a whole gzip file"};
  if (out.size() > maxBytes) {
    return Error{ErrorKind::TooLarge,
                 "unpacks to more than " + std::to_string(maxBytes) + " bytes"};
  }
  return out;
}

std::size_t UnpackBound(std::size_t compressedBytes, std::size_t floor, std::size_t ceiling) {
  const std::size_t hundredfold =
      compressedBytes > SIZE_MAX / 100 ? SIZE_MAX : compressedBytes * 100;
  return std::min(ceiling, std::max(floor, hundredfold));
}

bool LooksGzipped(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

}  // namespace kestrine
