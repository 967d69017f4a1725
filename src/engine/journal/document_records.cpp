#include "engine/journal/document_records.h"

namespace kestrine {

void DocumentRecords::Add(std::int32_t number, Kind kind, const std::u16string& charset,
                          std::span<const std::int32_t> referenced) {
  const auto [known, added] =
      charsetIndex_.try_emplace(charset, static_cast<std::uint32_t>(charsets_.size()));
  if (added) charsets_.push_back(charset);
  records_.push_back({number, kind, known->second, static_cast<std::uint32_t>(references_.size()),
                      static_cast<std::uint32_t>(referenced.size())});
  references_.insert(references_.end(), referenced.begin(), referenced.end());
  webLinks_.erase(number);
}

void DocumentRecords::SetWrittenToWeb(std::int32_t number, std::vector<std::int32_t> targets) {
  if (targets.empty()) {
    webLinks_.erase(number);
  } else {
    webLinks_[number] = std::move(targets);
  }
}

const std::vector<std::int32_t>* DocumentRecords::WrittenToWeb(std::int32_t number) const {
  const auto found = webLinks_.find(number);
  return found == webLinks_.end() ? nullptr : &found->second;
}

std::span<const std::int32_t> DocumentRecords::ReferencesOf(const Record& record) const {
  return std::span<const std::int32_t>(references_)
      .subspan(record.firstReference, record.referenceCount);
}

void DocumentRecords::Clear() {
  records_.clear();
  std::vector<std::int32_t>().swap(references_);
  charsets_.clear();
  charsetIndex_.clear();
  webLinks_.clear();
}

}  // namespace kestrine
