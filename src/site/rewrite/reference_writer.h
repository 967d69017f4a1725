#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "site/address/address.h"
#include "site/rewrite/reference_rewriter.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

// What a document's references were written as: the queued addresses it
// refers to, each once (for mending), and every reference by what it
// became, a local file (by its address's number) or the web, as a check of
// the copy counts them.
struct WrittenReferences {
  std::vector<std::int32_t> referenced;
  std::vector<std::int32_t> local;
  int web = 0;
};

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
  std::u16string DocumentPath() const override;

  // What this document's references were written as.
  const WrittenReferences& Written() const { return written_; }
  WrittenReferences TakeWritten() { return std::move(written_); }

  static std::u16string UrlForm(const std::u16string& relativePath);

  // A base longer than the longest address a crawl takes is no base: its
  // addresses could not be fetched, and written before each of a page's
  // references (as the web addresses they stay) it would multiply the
  // page's size by its own.
  static constexpr std::size_t kMaxBaseLength = 2048;

 private:
  struct WrittenReference {
    std::u16string text;
    std::int32_t number = -1;  // of the queued address, -1 for the web
  };
  WrittenReference WrittenFor(const std::u16string& reference);
  // The address a script's name stands for, or nothing for one it cannot.
  std::optional<std::u16string> NamedAddress(const std::u16string& reference) const;

  IScanProject& project_;
  // What relative references resolve against: the document's address, or
  // its <base>.
  AddressParts base_;
  const std::u16string documentAddress_;
  const std::u16string downloadFolder_;
  const std::u16string documentFolder_;
  // Within one document a reference always resolves, numbers and writes the
  // same way, so repeats are answered from here, for the first few
  // thousand distinct references.
  static constexpr std::size_t kMaxRemembered = 8192;
  std::unordered_map<std::u16string, WrittenReference> remembered_;
  WrittenReferences written_;
};

}  // namespace kestrine
