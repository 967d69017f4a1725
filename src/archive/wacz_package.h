#pragma once

#include <string>
#include <vector>

#include "runtime/result.h"

namespace kestrine {

// A WACZ file (WACZ 1.1.1, what ReplayWeb.page opens): the WARC files
// stored as they are under archive/, the CDXJ index, the page list, and
// datapackage.json naming every file with its SHA-256 and size, itself
// digested in datapackage-digest.json.
class WaczPackage {
 public:
  struct Contents {
    std::vector<std::string> warcFiles;  // with their folders
    std::string indexFile;               // a sorted CDXJ file
    std::string pagesFile;               // pages.jsonl, its header line first
    std::string title;
    std::string mainPageUrl;
    std::string mainPageDate;
    std::string created;  // RFC 3339
  };
  // Writes `path` anew through a temporary file, so a failed packing
  // leaves no half package under the name.
  static Status Write(const std::string& path, const Contents& contents);
};

}  // namespace kestrine
