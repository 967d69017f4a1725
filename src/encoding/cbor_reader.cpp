#include "encoding/cbor_reader.h"

namespace kestrine {

std::optional<CborReader::Head> CborReader::ReadHead() {
  if (at_ >= bytes_.size()) return std::nullopt;
  const auto first = static_cast<unsigned char>(bytes_[at_++]);
  Head head{first >> 5, first & 31u};
  if (head.value < 24) return head;
  const int size = head.value == 24   ? 1
                   : head.value == 25 ? 2
                   : head.value == 26 ? 4
                   : head.value == 27 ? 8
                                      : 0;
  if (size == 0 || at_ + size > bytes_.size()) return std::nullopt;
  head.value = 0;
  for (int i = 0; i < size; ++i) {
    head.value = head.value << 8 | static_cast<unsigned char>(bytes_[at_++]);
  }
  return head;
}

std::optional<std::string> CborReader::ReadText() {
  const std::size_t start = at_;
  auto head = ReadHead();
  if (!head) return std::nullopt;
  if (head->type == 3 && head->value <= bytes_.size() - at_) {
    std::string text(bytes_.substr(at_, head->value));
    at_ += head->value;
    return text;
  }
  at_ = start;
  Skip();
  return std::nullopt;
}

std::optional<std::uint64_t> CborReader::ReadArray() {
  auto head = ReadHead();
  if (!head || head->type != 4 || head->value > bytes_.size()) return std::nullopt;
  return head->value;
}

bool CborReader::Skip(int depth) {
  auto head = ReadHead();
  if (!head || depth > 32) return false;
  switch (head->type) {
    case 2:
    case 3:
      if (head->value > bytes_.size() - at_) return false;
      at_ += head->value;
      return true;
    case 4:
    case 5: {
      const std::uint64_t items = head->type == 5 ? head->value * 2 : head->value;
      if (items > bytes_.size()) return false;
      for (std::uint64_t i = 0; i < items; ++i) {
        if (!Skip(depth + 1)) return false;
      }
      return true;
    }
    case 6:
      return Skip(depth + 1);
    default:
      return true;
  }
}

}  // namespace kestrine
