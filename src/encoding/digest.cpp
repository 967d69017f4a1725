#include "encoding/digest.h"

#include <openssl/evp.h>

#include <cstdint>

namespace kestrine {

struct Digest::Context {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(context); }
};

namespace {

// Fetched once: OpenSSL 3 looks an algorithm up anew at every implicit use.
const EVP_MD* AlgorithmOf(Digest::Kind kind) {
  static EVP_MD* const sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return kind == Digest::Kind::Sha1 ? sha1 : sha256;
}

}  // namespace

Digest::Digest(Kind kind) : kind_(kind), context_(std::make_unique<Context>()) {
  EVP_DigestInit_ex(context_->context, AlgorithmOf(kind_), nullptr);
}

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

void Digest::Add(std::string_view bytes) {
  if (!bytes.empty()) EVP_DigestUpdate(context_->context, bytes.data(), bytes.size());
}

std::string Digest::Bytes() {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_->context, value, &length);
  EVP_DigestInit_ex(context_->context, AlgorithmOf(kind_), nullptr);
  return std::string(reinterpret_cast<const char*>(value), length);
}

std::string Digest::WarcLabel() { return "sha1:" + Base32(Bytes()); }

std::string Digest::HexLabel() { return "sha256:" + Hex(Bytes()); }

std::string Digest::Base32(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  std::string out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (unsigned char byte : bytes) {
    buffer = (buffer << 8) | byte;
    bits += 8;
    while (bits >= 5) {
      out += kAlphabet[(buffer >> (bits - 5)) & 31];
      bits -= 5;
    }
  }
  if (bits > 0) out += kAlphabet[(buffer << (5 - bits)) & 31];
  // A SHA-1 is 160 bits, a whole number of letters: no padding is needed.
  while (out.size() % 8 != 0) out += '=';
  return out;
}

std::string Digest::Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

std::string Digest::Sha1Of(std::string_view bytes) {
  Digest digest(Kind::Sha1);
  digest.Add(bytes);
  return digest.WarcLabel();
}

}  // namespace kestrine
