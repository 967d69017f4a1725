#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "site/address/address.h"
#include "site/rewrite/reference_rewriter.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

// Turns a reference found in a page or style sheet into what is written in
// its place: the reference is resolved, queued with the project, and the
// relative path of its local copy is written in URL form ("/" separators;
// "%", blanks, "#", "?" and parentheses percent-encoded), which browsers
// read the same inside HTML attributes and CSS url(). A fragment follows the
// path as it was; references with another scheme stay as written, and an
// address the project would not queue is written absolute.
class ReferenceWriter : public IReferenceRewriter {
 public:
  ReferenceWriter(IScanProject& project, const std::u16string& documentAddress,
                  std::u16string downloadFolder, std::u16string documentFolder);

  std::optional<std::u16string> Rewrite(const std::u16string& reference) override;
  bool IsStopRequested() override { return project_.IsStopRequested(); }
  void SetBase(const std::u16string& href) override;
  void TakeNamed(const std::u16string& reference) override;
  void TakeGuessed(const std::u16string& reference) override;

  // The numbers of the queued addresses this document refers to, each once.
  const std::vector<std::int32_t>& ReferencedNumbers() const { return referenced_; }

  static std::u16string UrlForm(const std::u16string& relativePath);

 private:
  std::u16string WrittenFor(const std::u16string& reference);
  // The address a script's name stands for, or nothing for one it cannot.
  std::optional<std::u16string> NamedAddress(const std::u16string& reference) const;

  IScanProject& project_;
  // What relative references resolve against: the document's address, or
  // its <base>.
  AddressParts base_;
  const std::u16string downloadFolder_;
  const std::u16string documentFolder_;
  // Within one document a reference always resolves, numbers and writes the
  // same way, so repeats are answered from here, for the first few
  // thousand distinct references.
  static constexpr std::size_t kMaxRemembered = 8192;
  std::unordered_map<std::u16string, std::u16string> written_;
  std::vector<std::int32_t> referenced_;
};

}  // namespace kestrine
