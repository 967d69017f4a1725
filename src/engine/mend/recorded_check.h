#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/mend/copy_verifier.h"

namespace kestrine {

struct WrittenReferences;

// The check of a copy at the end of its run, from what each document's
// references were written as when it was stored, instead of reading every
// page again: a reference written as a local file finds it when its address
// was stored and the file is there, and went to the web when its address
// was never stored (mending wrote it so); one written to the web is one.
// It gives CopyVerifier's numbers. Where it cannot vouch for them alone (a
// document stored by an earlier run, a stored file gone), it says nothing,
// and the copy is read as before.
class RecordedCheck {
 public:
  // A stored document's references; from any worker.
  void Keep(std::int32_t number, const WrittenReferences& written);
  void Clear();

  // What the check says of `documents` (each document's number once), with
  // `fileOf` giving the local file of a stored address (nothing for one not
  // stored) and `holds` whether that file is in the copy.
  struct Copy {
    std::function<std::optional<std::u16string>(std::int32_t)> fileOf;
    std::function<bool(const std::u16string&)> holds;
  };
  std::optional<CopyVerifier::Report> Check(const std::vector<std::int32_t>& documents,
                                            const Copy& copy) const;

 private:
  struct Counts {
    std::vector<std::int32_t> local;
    int web = 0;
  };
  mutable std::mutex mutex_;
  std::unordered_map<std::int32_t, Counts> documents_;
};

}  // namespace kestrine
