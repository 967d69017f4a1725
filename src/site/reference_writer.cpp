#include "site/reference_writer.h"

namespace kestrine {

ReferenceWriter::ReferenceWriter(IScanProject& project, const std::u16string& documentAddress,
                                 std::u16string downloadFolder, std::u16string documentFolder)
    : project_(project),
      document_(SplitAddress(NormalizeAddress(documentAddress))),
      downloadFolder_(std::move(downloadFolder)),
      documentFolder_(std::move(documentFolder)),
      mode_(project.ScanMode()),
      siteHost_(project.ScanSiteHost()) {}

const std::u16string& ReferenceWriter::Rewrite(const std::u16string& reference) {
  const auto known = written_.find(reference);
  if (known != written_.end()) return known->second;
  const std::u16string address = ResolveReference(reference, document_);
  const AddressParts target = SplitAddress(NormalizeAddress(address));
  const int number = project_.AddFoundAddress(address);
  const std::u16string file =
      LocalFilePath(LocalFolderFor(mode_, siteHost_, target, downloadFolder_),
                    LocalFileNameFor(mode_, target, number + 1));
  const std::u16string text = UrlForm(RelativeLocalReference(documentFolder_, file));
  return written_.emplace(reference, text).first->second;
}

std::u16string ReferenceWriter::UrlForm(const std::u16string& relativePath) {
  std::u16string url;
  url.reserve(relativePath.size() + 8);
  for (char16_t c : relativePath) {
    switch (c) {
      case u'\\':
        url += u'/';
        break;
      case u'%':
        url += u"%25";
        break;
      case u' ':
        url += u"%20";
        break;
      case u'#':
        url += u"%23";
        break;
      case u'?':
        url += u"%3F";
        break;
      case u'(':
        url += u"%28";
        break;
      case u')':
        url += u"%29";
        break;
      default:
        url += c;
    }
  }
  return url;
}

}  // namespace kestrine
