#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/queue/address_queue.h"
#include "site/rewrite/reference_rewriter.h"

namespace kestrine {

// Reads the references a scan wrote into a stored document (relative local
// paths in URL form) and writes the absolute address back in place of each
// one whose target is not in the copy, so the copy links to the live web
// instead of to a missing file; writes the local path again in place of an
// absolute address that an earlier run wrote for a target stored since; and
// writes the new name of a file its answer renamed. Everything else stays as
// it is.
class UnstoredReferenceRelinker : public IReferenceRewriter {
 public:
  // `documentFolder` is the document's folder relative to the site folder;
  // `unstored` is indexed by entry number; `storedAgain` are entries this
  // document refers to by their web address that now have their file.
  UnstoredReferenceRelinker(AddressQueue& queue, std::u16string documentFolder,
                            const std::vector<bool>& unstored,
                            const std::vector<std::int32_t>& storedAgain = {});

  std::optional<std::u16string> Rewrite(const std::u16string& reference) override;
  int Relinked() const { return static_cast<int>(toWeb_.size() + toCopy_.size()) + renamed_; }
  // The entries written to the web here, and those written local again.
  const std::vector<std::int32_t>& WrittenToWeb() const { return toWeb_; }
  const std::vector<std::int32_t>& WrittenToCopy() const { return toCopy_; }

  // The local file (relative to the site folder) that a written reference
  // leads to from `documentFolder`.
  static std::u16string TargetOf(const std::u16string& documentFolder,
                                 const std::u16string& writtenReference);

 private:
  std::optional<std::u16string> BackToCopy(const std::u16string& reference);
  std::u16string WrittenTo(const QueueEntry& entry, const ReferenceAndFragment& parts) const;

  AddressQueue& queue_;
  const std::u16string documentFolder_;
  const std::vector<bool>& unstored_;
  std::unordered_map<std::u16string, std::int32_t> storedAgain_;
  std::vector<std::int32_t> toWeb_;
  std::vector<std::int32_t> toCopy_;
  int renamed_ = 0;
};

}  // namespace kestrine
