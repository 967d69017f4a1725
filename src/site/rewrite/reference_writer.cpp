#include "site/rewrite/reference_writer.h"

#include "runtime/string_utility.h"

namespace kestrine {

ReferenceWriter::ReferenceWriter(IScanProject& project, const std::u16string& documentAddress,
                                 std::u16string downloadFolder, std::u16string documentFolder)
    : project_(project),
      base_(SplitAbsolute(documentAddress)),
      documentAddress_(documentAddress),
      downloadFolder_(std::move(downloadFolder)),
      documentFolder_(std::move(documentFolder)) {}

std::optional<std::u16string> ReferenceWriter::Rewrite(const std::u16string& reference) {
  if (HasForeignScheme(reference)) return std::nullopt;
  const ReferenceAndFragment parts = SplitFragment(reference);
  // A fragment alone names a place in this document.
  if (parts.hasFragment && parts.reference.empty()) return std::nullopt;
  const auto known = remembered_.find(parts.reference);
  WrittenReference written;
  if (known != remembered_.end()) {
    written = known->second;
  } else {
    written = WrittenFor(parts.reference);
    // Repeats are the few links of every page's navigation, found early;
    // a page of a million distinct links must not be kept twice over.
    if (remembered_.size() < kMaxRemembered) remembered_.emplace(parts.reference, written);
  }
  if (written.number >= 0) {
    written_.local.push_back(written.number);
  } else {
    ++written_.web;
  }
  if (parts.hasFragment) written.text += u"#" + parts.fragment;
  return std::move(written.text);
}

ReferenceWriter::WrittenReference ReferenceWriter::WrittenFor(const std::u16string& reference) {
  std::u16string address = ResolveReference(reference, base_);
  const FoundAddress found = project_.AddFoundAddress(address);
  if (found.number < 0) return {std::move(address), -1};
  written_.referenced.push_back(found.number);
  const std::u16string file = LocalFilePath(downloadFolder_, found.localFile);
  return {UrlForm(RelativeLocalReference(documentFolder_, file)), found.number};
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

std::u16string ReferenceWriter::DocumentPath() const {
  const std::size_t scheme = documentAddress_.find(u"://");
  if (scheme == std::u16string::npos) return {};
  const std::size_t path = documentAddress_.find(u'/', scheme + 3);
  if (path == std::u16string::npos) return u"/";
  return documentAddress_.substr(path, documentAddress_.find_first_of(u"?#", path) - path);
}

void ReferenceWriter::SetBase(const std::u16string& href) {
  if (HasForeignScheme(href)) return;
  std::u16string address = ResolveReference(href, base_);
  if (address.size() > kMaxBaseLength) return;
  base_ = SplitAbsolute(address);
  // What was written for a reference holds for the old base only.
  remembered_.clear();
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
