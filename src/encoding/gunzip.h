#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/result.h"

namespace kestrine {

// Unpacks a gzip file (RFC 1952) as a site serves it: a sitemap.xml.gz, a
// search index. Unpacking stops at `maxBytes`, so a small file that would
// unpack to gigabytes costs no more than the bound (TooLarge).
Result<std::string> Gunzip(std::string_view compressed, std::size_t maxBytes);

// The bound a file of `compressedBytes` may unpack to, as the transfers'
// own bomb check has it: a hundred times its size, but at least `floor`,
// and never more than `ceiling`.
std::size_t UnpackBound(std::size_t compressedBytes, std::size_t floor, std::size_t ceiling);

// Whether bytes begin as a gzip file does.
bool LooksGzipped(std::string_view bytes);

}  // namespace kestrine
