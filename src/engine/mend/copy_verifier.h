#pragma once

#include <string>
#include <vector>

namespace kestrine {

// Checks a copy on disk without the network: every reference of every
// stored page and style sheet either finds a stored file, goes to the live
// web, or is dead (it points at a local file that is not there).
class CopyVerifier {
 public:
  struct DeadReference {
    std::string document;   // the page or style sheet, as a path
    std::string reference;  // as written in it
  };
  struct Report {
    int documents = 0;
    int resolved = 0;
    int live = 0;
    std::vector<DeadReference> dead;
    // "555 pages and style sheets: 31,210 references to stored files, 2,091
    // to the web, 0 dead".
    std::string Summary() const;
  };

  static Report Verify(const std::u16string& siteFolder);
};

}  // namespace kestrine
