#include "engine/mend/recorded_check.h"

#include "site/rewrite/reference_writer.h"

namespace kestrine {

void RecordedCheck::Keep(std::int32_t number, const WrittenReferences& written) {
  std::lock_guard lock(mutex_);
  documents_[number] = {written.local, written.web};
}

void RecordedCheck::Clear() {
  std::lock_guard lock(mutex_);
  documents_.clear();
}

std::optional<CopyVerifier::Report> RecordedCheck::Check(const std::vector<std::int32_t>& documents,
                                                         const Copy& copy) const {
  std::lock_guard lock(mutex_);
  // Whether each address's file is in the copy (1), it was never stored
  // (0), or it was stored and is gone (-1), looked at once.
  std::unordered_map<std::int32_t, int> found;
  const auto foundOf = [&](std::int32_t number) {
    const auto known = found.find(number);
    if (known != found.end()) return known->second;
    const std::optional<std::u16string> file = copy.fileOf(number);
    const int state = !file ? 0 : copy.holds(*file) ? 1 : -1;
    found.emplace(number, state);
    return state;
  };
  CopyVerifier::Report report;
  for (const std::int32_t number : documents) {
    const auto counts = documents_.find(number);
    if (counts == documents_.end()) return std::nullopt;
    // A document not in the copy is not read by a check either.
    if (foundOf(number) != 1) continue;
    ++report.documents;
    report.live += counts->second.web;
    for (const std::int32_t target : counts->second.local) {
      const int state = foundOf(target);
      if (state < 0) return std::nullopt;
      ++(state == 1 ? report.resolved : report.live);
    }
  }
  return report;
}

}  // namespace kestrine
