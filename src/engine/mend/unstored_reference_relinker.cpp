#include "engine/mend/unstored_reference_relinker.h"

#include "runtime/string_utility.h"
#include "site/rewrite/reference_writer.h"

namespace kestrine {

namespace {

// Undoes the URL form the scans write: "/" back to "\\" and the characters
// they percent-encode.
std::u16string LocalFormOf(const std::u16string& reference) {
  std::u16string local =
      StringUtility::FromUtf8(StringUtility::PercentDecoded(StringUtility::ToUtf8(reference)));
  for (char16_t& c : local) {
    if (c == u'/') c = u'\\';
  }
  return local;
}

}  // namespace

UnstoredReferenceRelinker::UnstoredReferenceRelinker(AddressQueue& queue,
                                                     std::u16string documentFolder,
                                                     const std::vector<bool>& unstored,
                                                     const std::vector<std::int32_t>& storedAgain)
    : queue_(queue), documentFolder_(std::move(documentFolder)), unstored_(unstored) {
  for (std::int32_t number : storedAgain) {
    if (const QueueEntry* entry = queue_.EntryByNumber(number)) {
      storedAgain_.emplace(std::u16string(entry->address), number);
    }
  }
}

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
  if (HasForeignScheme(reference)) return std::nullopt;
  if (WebSchemeLength(reference) > 0) return BackToCopy(reference);
  const ReferenceAndFragment parts = SplitFragment(reference);
  if (parts.reference.empty() || parts.reference.front() == u'/') return std::nullopt;
  const std::u16string target = TargetOf(documentFolder_, parts.reference);
  const auto holder = queue_.HolderOf(target);
  if (!holder) return std::nullopt;
  const QueueEntry* entry = queue_.EntryByNumber(*holder);
  if (entry == nullptr) return std::nullopt;
  if (static_cast<std::size_t>(*holder) < unstored_.size() && unstored_[*holder]) {
    toWeb_.push_back(*holder);
    std::u16string address(entry->address);
    if (parts.hasFragment) address += u"#" + parts.fragment;
    return address;
  }
  // Written before its answer renamed the file: written anew to its name.
  if (target == entry->localFile) return std::nullopt;
  ++renamed_;
  return WrittenTo(*entry, parts);
}

std::u16string UnstoredReferenceRelinker::WrittenTo(const QueueEntry& entry,
                                                    const ReferenceAndFragment& parts) const {
  // Both paths below one root: only where they part matters.
  const std::u16string from = documentFolder_.empty() ? u"_" : u"_\\" + documentFolder_;
  std::u16string written = ReferenceWriter::UrlForm(
      RelativeLocalReference(from, u"_\\" + std::u16string(entry.localFile)));
  if (parts.hasFragment) written += u"#" + parts.fragment;
  return written;
}

std::optional<std::u16string> UnstoredReferenceRelinker::BackToCopy(
    const std::u16string& reference) {
  if (storedAgain_.empty()) return std::nullopt;
  const ReferenceAndFragment parts = SplitFragment(reference);
  const auto found = storedAgain_.find(parts.reference);
  if (found == storedAgain_.end()) return std::nullopt;
  const QueueEntry* entry = queue_.EntryByNumber(found->second);
  if (entry == nullptr) return std::nullopt;
  toCopy_.push_back(found->second);
  return WrittenTo(*entry, parts);
}

}  // namespace kestrine
