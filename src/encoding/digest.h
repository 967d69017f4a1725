#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace kestrine {

// A SHA-1 or SHA-256 digest fed piece by piece (OpenSSL's libcrypto), as a
// web archive labels its records: "sha1:" and upper-case base32 (WARC), or
// "sha256:" and lower-case hex (WACZ).
class Digest {
 public:
  enum class Kind { Sha1, Sha256 };
  explicit Digest(Kind kind);
  ~Digest();
  Digest(Digest&&) noexcept;
  Digest& operator=(Digest&&) noexcept;

  void Add(std::string_view bytes);
  // The digest of what was added; the digest then starts afresh.
  std::string Bytes();
  // "sha1:" + base32 of the SHA-1, as WARC-Block-Digest and
  // WARC-Payload-Digest write it.
  std::string WarcLabel();
  // "sha256:" + hex, as datapackage.json writes it.
  std::string HexLabel();

  static std::string Base32(std::string_view bytes);
  static std::string Hex(std::string_view bytes);
  static std::string Sha1Of(std::string_view bytes);

 private:
  struct Context;
  Kind kind_;
  std::unique_ptr<Context> context_;
};

}  // namespace kestrine
