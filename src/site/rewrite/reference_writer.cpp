#include "site/rewrite/reference_writer.h"

#include "runtime/string_utility.h"

namespace kestrine {

ReferenceWriter::ReferenceWriter(IScanProject& project, const std::u16string& documentAddress,
                                 std::u16string downloadFolder, std::u16string documentFolder)
    : project_(project),
      base_(SplitAbsolute(documentAddress)),
      downloadFolder_(std::move(downloadFolder)),
      documentFolder_(std::move(documentFolder)) {}

std::optional<std::u16string> ReferenceWriter::Rewrite(const std::u16string& reference) {
  if (HasForeignScheme(reference)) return std::nullopt;
  const ReferenceAndFragment parts = SplitFragment(reference);
  // A fragment alone names a place in this document.
  if (parts.hasFragment && parts.reference.empty()) return std::nullopt;
  const auto known = written_.find(parts.reference);
  std::u16string written;
  if (known != written_.end()) {
    written = known->second;
  } else {
    written = WrittenFor(parts.reference);
    // Repeats are the few links of every page's navigation, found early;
    // a page of a million distinct links must not be kept twice over.
    if (written_.size() < kMaxRemembered) written_.emplace(parts.reference, written);
  }
  if (parts.hasFragment) written += u"#" + parts.fragment;
  return written;
}

std::u16string ReferenceWriter::WrittenFor(const std::u16string& reference) {
  std::u16string address = ResolveReference(reference, base_);
  const FoundAddress found = project_.AddFoundAddress(address);
  if (found.number < 0) return address;
  referenced_.push_back(found.number);
  const std::u16string file = LocalFilePath(downloadFolder_, found.localFile);
  return UrlForm(RelativeLocalReference(documentFolder_, file));
}

std::optional<std::u16string> ReferenceWriter::NamedAddress(const std::u16string& reference) const {
  if (reference.empty() || reference.front() == u'#' || HasForeignScheme(reference)) return {};
  const ReferenceAndFragment parts = SplitFragment(reference);
  if (parts.reference.empty()) return {};
  return ResolveReference(parts.reference, base_);
}

void ReferenceWriter::TakeNamed(const std::u16string& reference) {
  if (auto address = NamedAddress(reference)) project_.AddNamedAddress(*address);
}

void ReferenceWriter::TakeGuessed(const std::u16string& reference) {
  if (auto address = NamedAddress(reference)) project_.AddGuessedAddress(*address);
}

void ReferenceWriter::SetBase(const std::u16string& href) {
  if (HasForeignScheme(href)) return;
  base_ = SplitAbsolute(ResolveReference(href, base_));
  // What was written for a reference holds for the old base only.
  written_.clear();
}

std::u16string ReferenceWriter::UrlForm(const std::u16string& relativePath) {
  // What would end the path or start a query, fragment or escape, and the
  // quotes of the attribute or url() it is written in.
  static constexpr std::u16string_view kEscaped = u"% #?()\"'";
  std::u16string url;
  url.reserve(relativePath.size() + 8);
  for (char16_t c : relativePath) {
    if (c == u'\\') {
      url += u'/';
    } else if (kEscaped.find(c) != std::u16string_view::npos) {
      StringUtility::AppendPercentEncoded(url, c);
    } else {
      url += c;
    }
  }
  return url;
}

}  // namespace kestrine
