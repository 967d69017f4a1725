#pragma once

#include <string>

#include "engine/project.h"
#include "site/scan_project.h"

namespace kestrine {

// The project as a scan of one document sees it: every address found there
// is one link deeper than the document.
class DocumentScope : public IScanProject {
 public:
  DocumentScope(Project& project, int depth) : project_(project), depth_(depth) {}
  FoundAddress AddFoundAddress(const std::u16string& address) override {
    return project_.AddFoundAddressAt(address, depth_ + 1);
  }
  FoundAddress AddNamedAddress(const std::u16string& address) override {
    return project_.AddNamedAddressAt(address, depth_ + 1);
  }
  bool IsStopRequested() override { return project_.IsStopRequested(); }

 private:
  Project& project_;
  const int depth_;
};

}  // namespace kestrine
