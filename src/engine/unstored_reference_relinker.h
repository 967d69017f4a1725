#pragma once

#include <string>
#include <vector>

#include "engine/address_queue.h"
#include "site/reference_rewriter.h"

namespace kestrine {

// Reads the references a scan wrote into a stored document (relative local
// paths in URL form) and writes the absolute address back in place of each
// one whose target was never stored, so the copy links to the live web
// instead of to a missing file. Everything else stays as it is.
class UnstoredReferenceRelinker : public IReferenceRewriter {
 public:
  // `documentFolder` is the document's folder relative to the download
  // folder; `unstored` is indexed by entry number.
  UnstoredReferenceRelinker(AddressQueue& queue, std::u16string documentFolder,
                            const std::vector<bool>& unstored);

  std::optional<std::u16string> Rewrite(const std::u16string& reference) override;
  int Relinked() const { return relinked_; }

  // The local file (relative to the download folder) that a written
  // reference leads to from `documentFolder`.
  static std::u16string TargetOf(const std::u16string& documentFolder,
                                 const std::u16string& writtenReference);

 private:
  AddressQueue& queue_;
  const std::u16string documentFolder_;
  const std::vector<bool>& unstored_;
  int relinked_ = 0;
};

}  // namespace kestrine
