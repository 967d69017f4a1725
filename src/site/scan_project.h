#pragma once

#include <string>

#include "site/address.h"

namespace kestrine {

// What the page and style-sheet scanners need of the project they feed: a
// place to queue each address found, the values the path rules read, and
// whether the user asked to stop.
class IScanProject {
 public:
  // Queues the address unless it is known and returns its number.
  virtual int AddFoundAddress(const std::u16string& address) = 0;
  virtual DownloadMode ScanMode() const = 0;
  virtual std::u16string ScanSiteHost() const = 0;
  // True once a cancel or a pause has been requested.
  virtual bool IsStopRequested() = 0;

 protected:
  ~IScanProject() = default;
};

}  // namespace kestrine
