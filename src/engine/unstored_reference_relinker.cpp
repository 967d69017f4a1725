#include "engine/unstored_reference_relinker.h"

namespace kestrine {

namespace {

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Undoes the URL form the scans write: "/" back to "\" and the few
// characters they percent-encode.
std::u16string LocalFormOf(const std::u16string& reference) {
  std::u16string out;
  out.reserve(reference.size());
  for (std::size_t i = 0; i < reference.size(); ++i) {
    const char16_t c = reference[i];
    if (c == u'%' && i + 2 < reference.size()) {
      const int high = HexValue(reference[i + 1]);
      const int low = HexValue(reference[i + 2]);
      if (high >= 0 && low >= 0 && high < 8) {
        out += static_cast<char16_t>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += c == u'/' ? u'\\' : c;
  }
  return out;
}

}  // namespace

UnstoredReferenceRelinker::UnstoredReferenceRelinker(AddressQueue& queue,
                                                     std::u16string documentFolder,
                                                     const std::vector<bool>& unstored)
    : queue_(queue), documentFolder_(std::move(documentFolder)), unstored_(unstored) {}

std::u16string UnstoredReferenceRelinker::TargetOf(const std::u16string& documentFolder,
                                                   const std::u16string& writtenReference) {
  std::vector<std::u16string> parts;
  const std::u16string joined = documentFolder + u"\\" + LocalFormOf(writtenReference);
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find(u'\\', start);
    if (end == std::u16string::npos) end = joined.size();
    const std::u16string part = joined.substr(start, end - start);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::u16string path;
  for (const std::u16string& part : parts) {
    if (!path.empty()) path += u'\\';
    path += part;
  }
  return path;
}

std::optional<std::u16string> UnstoredReferenceRelinker::Rewrite(const std::u16string& reference) {
  if (HasForeignScheme(reference) || WebSchemeLength(reference) > 0) return std::nullopt;
  const ReferenceAndFragment parts = SplitFragment(reference);
  if (parts.reference.empty() || parts.reference.front() == u'/') return std::nullopt;
  const auto holder = queue_.HolderOf(TargetOf(documentFolder_, parts.reference));
  if (!holder || static_cast<std::size_t>(*holder) >= unstored_.size() || !unstored_[*holder]) {
    return std::nullopt;
  }
  const QueueEntry* entry = queue_.EntryByNumber(*holder);
  if (entry == nullptr) return std::nullopt;
  ++relinked_;
  return parts.hasFragment ? entry->address + u"#" + parts.fragment : entry->address;
}

}  // namespace kestrine
