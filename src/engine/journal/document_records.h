#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrine {

// The stored pages and style sheets of a project and the entries each one
// refers to, so that references can be mended when a run ends: to the web
// for what was never stored, and back to the copy once it is. Twenty bytes
// a document: its charset is one of the few a site uses, and the numbers it
// refers to lie in one shared list. Not thread-safe; the project guards it.
class DocumentRecords {
 public:
  enum class Kind : std::int32_t { Page = 0, StyleSheet = 1, Svg = 2 };
  struct Record {
    std::int32_t number;
    Kind kind;
    std::uint32_t charset;         // in charsets_
    std::uint32_t firstReference;  // in references_
    std::uint32_t referenceCount;
  };

  // A document as its scan found it. A new scan of it replaces what it
  // held written to the web: that scan wrote every queued address local.
  void Add(std::int32_t number, Kind kind, const std::u16string& charset,
           std::span<const std::int32_t> referenced);
  // The numbers a document's references were written to the web for, as
  // the last mending left them.
  void SetWrittenToWeb(std::int32_t number, std::vector<std::int32_t> targets);
  const std::vector<std::int32_t>* WrittenToWeb(std::int32_t number) const;
  // Every document with references written to the web, and their targets.
  const std::unordered_map<std::int32_t, std::vector<std::int32_t>>& webLinks() const {
    return webLinks_;
  }

  const std::deque<Record>& records() const { return records_; }
  std::span<const std::int32_t> ReferencesOf(const Record& record) const;
  const std::u16string& CharsetOf(const Record& record) const { return charsets_[record.charset]; }
  bool empty() const { return records_.empty(); }
  void Clear();

 private:
  std::deque<Record> records_;
  std::vector<std::int32_t> references_;
  std::vector<std::u16string> charsets_;
  std::unordered_map<std::u16string, std::uint32_t> charsetIndex_;
  std::unordered_map<std::int32_t, std::vector<std::int32_t>> webLinks_;
};

}  // namespace kestrine
