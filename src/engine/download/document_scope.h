#pragma once

#include <string>

#include "engine/project.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

// What a document is to the files it names: a page starts a new chain of
// files, anything else (a style sheet, a script, JSON) adds to its own.
enum class DocumentRole { Page, Requisite };

// The project as a scan of one document sees it: every address found there
// is one link deeper than the document, and one file further along its
// chain unless the document is a page.
class DocumentScope : public IScanProject {
 public:
  DocumentScope(Project& project, const QueueEntry& document, DocumentRole role)
      : project_(project),
        depth_(document.depth),
        chain_(role == DocumentRole::Page ? 0 : document.chain) {}
  FoundAddress AddFoundAddress(const std::u16string& address) override {
    return project_.AddFoundAddressAt(address, depth_ + 1, chain_);
  }
  FoundAddress AddNamedAddress(const std::u16string& address) override {
    return project_.AddNamedAddressAt(address, depth_ + 1, chain_);
  }
  bool IsStopRequested() override { return project_.IsStopRequested(); }

 private:
  Project& project_;
  const int depth_;
  const int chain_;
};

}  // namespace kestrine
