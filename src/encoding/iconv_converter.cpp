#include "encoding/iconv_converter.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#include "runtime/string_utility.h"

namespace kestrine {

static_assert(std::endian::native == std::endian::little,
              "UTF-16 text is handed to iconv as UTF-16LE bytes");

namespace {

constexpr const char* kUtf16 = "UTF-16LE";

// This thread's converters, opened once per pair of charsets and reset for
// each use: opening one loads the platform's conversion module, which costs
// far more than a page's conversion, and a converter may not be shared
// between threads.
class Descriptor {
 public:
  Descriptor(const char* to, const char* from) : cd_(Cached(to, from)) {
    if (valid()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  struct Cache {
    std::unordered_map<std::string, iconv_t> open;
    ~Cache() {
      for (const auto& [key, cd] : open) {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
      }
    }
  };
  static iconv_t Cached(const char* to, const char* from) {
    thread_local Cache cache;
    const std::string key = std::string(to) + '\n' + from;
    const auto found = cache.open.find(key);
    if (found != cache.open.end()) return found->second;
    return cache.open.emplace(key, iconv_open(to, from)).first->second;
  }

  iconv_t cd_;
};

// Output buffer that grows as iconv asks for room.
class Sink {
 public:
  explicit Sink(std::size_t hint) : bytes_(hint < 64 ? 64 : hint, '\0') {}
  char** cursor() { return &cursor_; }
  std::size_t* left() { return &left_; }
  void Begin() {
    cursor_ = bytes_.data() + used_;
    left_ = bytes_.size() - used_;
  }
  void End() { used_ = static_cast<std::size_t>(cursor_ - bytes_.data()); }
  void Grow() {
    End();
    bytes_.resize(bytes_.size() * 2);
    Begin();
  }
  // Grows only when full, like iconv's output: a text of many bad bytes
  // must not pay for zeroing the whole buffer at each one.
  void Append(std::string_view more) {
    if (bytes_.size() - used_ < more.size()) {
      bytes_.resize(std::max(bytes_.size() * 2, used_ + more.size()));
    }
    std::memcpy(bytes_.data() + used_, more.data(), more.size());
    used_ += more.size();
  }
  std::string Take() {
    End();
    bytes_.resize(used_);
    return std::move(bytes_);
  }

 private:
  std::string bytes_;
  std::size_t used_ = 0;
  char* cursor_ = nullptr;
  std::size_t left_ = 0;
};

// Runs iconv over input until it is used up or an error other than a full
// output stops it; returns that errno, or 0 when all input was taken.
int Pump(iconv_t cd, char** in, std::size_t* inLeft, Sink& sink) {
  sink.Begin();
  while (*inLeft > 0) {
    if (iconv(cd, in, inLeft, sink.cursor(), sink.left()) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      sink.Grow();
      continue;
    }
    const int error = errno;
    sink.End();
    return error;
  }
  sink.End();
  return 0;
}

void Flush(iconv_t cd, Sink& sink) {
  sink.Begin();
  while (iconv(cd, nullptr, nullptr, sink.cursor(), sink.left()) == static_cast<std::size_t>(-1) &&
         errno == E2BIG) {
    sink.Grow();
  }
  sink.End();
}

// Most of the web is UTF-8, and going through iconv costs several times
// what these loops do. They take only well-formed text (RFC 3629: shortest
// forms, no surrogates, nothing above U+10FFFF), which iconv converts the
// same way; anything else goes to iconv, which decides about it.
bool IsUtf8(std::string_view charset) { return charset == "UTF-8"; }
bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::optional<std::u16string> DecodeWellFormedUtf8(std::string_view bytes) {
  std::u16string text;
  text.resize(bytes.size());
  std::size_t used = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    // Eight bytes of ASCII at a time, most of a page.
    while (i + 8 <= size) {
      std::uint64_t eight;
      std::memcpy(&eight, in + i, 8);
      if ((eight & 0x8080808080808080ull) != 0) break;
      for (int k = 0; k < 8; ++k) text[used + k] = in[i + k];
      used += 8;
      i += 8;
    }
    if (i >= size) break;
    const unsigned char lead = in[i];
    if (lead < 0x80) {
      text[used++] = lead;
      ++i;
      continue;
    }
    char32_t code = 0;
    std::size_t length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      code = lead & 0x1F, length = 2, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      code = lead & 0x0F, length = 3, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      code = lead & 0x07, length = 4, least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (size - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      if (!IsContinuation(in[i + k])) return std::nullopt;
      code = (code << 6) | (in[i + k] & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return std::nullopt;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      text[used++] = static_cast<char16_t>(0xD800 + (code >> 10));
      text[used++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      text[used++] = static_cast<char16_t>(code);
    }
    i += length;
  }
  text.resize(used);
  return text;
}

// Nothing when the text holds a lone surrogate.
std::size_t Utf8Length(std::u16string_view text) {
  std::size_t length = 0;
  for (const char16_t unit : text) {
    // A surrogate pair is 4 bytes, 2 for each of its halves.
    length += unit < 0x80 ? 1 : unit < 0x800 ? 2 : (unit >= 0xD800 && unit <= 0xDFFF) ? 2 : 3;
  }
  return length;
}

std::optional<std::string> EncodeUtf8(std::u16string_view text) {
  std::string bytes;
  // Sized exactly: three bytes a unit would touch, and so map, three
  // times the memory a page in ASCII needs.
  bytes.resize(Utf8Length(text));
  std::size_t used = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code < 0x80) {
      bytes[used++] = static_cast<char>(code);
      continue;
    }
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
      return std::nullopt;
    }
    if (code < 0x800) {
      bytes[used++] = static_cast<char>(0xC0 | (code >> 6));
    } else if (code < 0x10000) {
      bytes[used++] = static_cast<char>(0xE0 | (code >> 12));
      bytes[used++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    } else {
      bytes[used++] = static_cast<char>(0xF0 | (code >> 18));
      bytes[used++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      bytes[used++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    bytes[used++] = static_cast<char>(0x80 | (code & 0x3F));
  }
  bytes.resize(used);
  return bytes;
}

// The bytes of one code unit: what a refused character is skipped by.
std::size_t CodeUnitBytes(const std::string& charset) {
  const std::string lower = StringUtility::ToLowerAscii(charset);
  if (lower.starts_with("utf-16") || lower.starts_with("ucs-2")) return 2;
  if (lower.starts_with("utf-32") || lower.starts_with("ucs-4")) return 4;
  return 1;
}

std::optional<std::u16string> Decode(std::string_view charset, std::string_view bytes,
                                     bool strict) {
  if (IsUtf8(charset)) {
    if (auto text = DecodeWellFormedUtf8(bytes)) return text;
  }
  const std::string name(charset);
  Descriptor cd(kUtf16, name.c_str());
  if (!cd.valid()) return std::nullopt;
  const std::size_t unit = CodeUnitBytes(name);
  Sink sink(bytes.size() * 2 + 2);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    const int error = Pump(cd.get(), &in, &inLeft, sink);
    if (error == 0) break;
    if (strict) return std::nullopt;
    // Skip the offending unit (a byte, or a whole code unit of UTF-16 or
    // UTF-32, which a byte would put out of step for the rest of the text)
    // and stand U+FFFD in its place.
    sink.Append(std::string_view("\xFD\xFF", 2));
    if (error == EINVAL) break;  // a truncated sequence at the very end
    const std::size_t skip = std::min(unit, inLeft);
    in += skip;
    inLeft -= skip;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  Flush(cd.get(), sink);
  std::string raw = sink.Take();
  std::u16string text(raw.size() / 2, u'\0');
  std::memcpy(text.data(), raw.data(), text.size() * 2);
  return text;
}

}  // namespace

std::optional<std::string> IconvConverter::FromUtf16(std::string_view charset,
                                                     std::u16string_view text) {
  if (IsUtf8(charset)) {
    if (auto bytes = EncodeUtf8(text)) return bytes;
  }
  const std::string name(charset);
  Descriptor cd(name.c_str(), kUtf16);
  if (!cd.valid()) return std::nullopt;
  Sink sink(text.size() * 2 + 16);
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  std::size_t inLeft = text.size() * 2;
  while (inLeft > 0) {
    if (Pump(cd.get(), &in, &inLeft, sink) == 0) break;
    // An unmappable character or a lone surrogate: skip it and write "?"
    // through the same converter, so a stateful charset stays in step.
    const std::size_t at = (text.size() * 2 - inLeft) / 2;
    const bool pair =
        IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1]);
    const std::size_t skip = pair ? 4 : 2;
    in += skip;
    inLeft -= skip;
    char question[] = {'?', '\0'};
    char* q = question;
    std::size_t qLeft = sizeof question;
    Pump(cd.get(), &q, &qLeft, sink);
  }
  Flush(cd.get(), sink);
  return sink.Take();
}

std::optional<std::u16string> IconvConverter::ToUtf16(std::string_view charset,
                                                      std::string_view bytes) {
  return Decode(charset, bytes, false);
}

std::optional<std::u16string> IconvConverter::ToUtf16Strict(std::string_view charset,
                                                            std::string_view bytes) {
  return Decode(charset, bytes, true);
}

}  // namespace kestrine
