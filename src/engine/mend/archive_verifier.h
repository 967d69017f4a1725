#pragma once

#include <string>
#include <vector>

namespace kestrine {

// Checks the web archive kept beside a copy, without the network: every
// record of every file reads whole, every digest it states matches its
// bytes, and every file the journal says is stored has its response (or
// revisit) record.
class ArchiveVerifier {
 public:
  struct Report {
    bool found = false;  // whether there is an archive under the name
    int files = 0;
    int records = 0;
    std::vector<std::string> problems;  // the first ones, with where
    int problemCount = 0;
    std::vector<std::string> unrecorded;  // stored addresses with no response record
    int unrecordedCount = 0;
    bool ok() const { return problemCount == 0 && unrecordedCount == 0; }
    // "Web archive: 2 files, 1,110 records, every digest right, every stored
    // file recorded".
    std::string Summary() const;
  };

  // `base` is the archive's NAME with its folder; empty: the site folder's,
  // beside it.
  static Report Verify(const std::u16string& siteFolder, const std::string& base = {});
};

}  // namespace kestrine
