#pragma once

#include <string>
#include <unordered_map>

#include "site/address.h"
#include "site/scan_project.h"

namespace kestrine {

// Turns a reference found in a page or style sheet into what is written in
// its place: the reference is resolved, queued with the project, and the
// relative path of its future local copy is written in URL form ("/"
// separators; "%", blanks, "#", "?" and parentheses percent-encoded), which
// browsers read the same inside HTML attributes and CSS url().
class ReferenceWriter {
 public:
  ReferenceWriter(IScanProject& project, const std::u16string& documentAddress,
                  std::u16string downloadFolder, std::u16string documentFolder);

  // The text to write for the reference r (already cleaned by the caller).
  const std::u16string& Rewrite(const std::u16string& reference);

  static std::u16string UrlForm(const std::u16string& relativePath);

 private:
  IScanProject& project_;
  const AddressParts document_;
  const std::u16string downloadFolder_;
  const std::u16string documentFolder_;
  const DownloadMode mode_;
  const std::u16string siteHost_;
  // Within one document a reference always resolves, numbers and writes the
  // same way, so repeats are answered from here.
  std::unordered_map<std::u16string, std::u16string> written_;
};

}  // namespace kestrine
