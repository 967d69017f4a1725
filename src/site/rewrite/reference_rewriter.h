#pragma once

#include <optional>
#include <string>

namespace kestrine {

// Decides what a scan writes in place of one reference. The scanners find
// the references; a rewriter says what each becomes, so the same passes
// serve the first scan of a document and any later pass over its copy.
class IReferenceRewriter {
 public:
  // The text to write for a cleaned reference, or nothing to leave the
  // reference exactly as it stands in the document.
  virtual std::optional<std::u16string> Rewrite(const std::u16string& reference) = 0;
  // True once the scan should end between references.
  virtual bool IsStopRequested() { return false; }
  // A page's <base href>: later relative references resolve against it.
  virtual void SetBase(const std::u16string&) {}
  // A reference a script names: it is fetched when it is new, and never
  // written anywhere, for scripts stay as they are.
  virtual void TakeNamed(const std::u16string&) {}
  // A reference a script may name: the same, but fetched only if the site
  // has it, and dropped quietly if not.
  virtual void TakeGuessed(const std::u16string&) {}
  // The path of the document's address ("/guide/intro/"), when known.
  virtual std::u16string DocumentPath() const { return {}; }

 protected:
  ~IReferenceRewriter() = default;
};

}  // namespace kestrine
