#pragma once

#include <cstdint>
#include <string>

#include "site/address/address.h"

namespace kestrine {

// The outcome of handing a found address to the project.
struct FoundAddress {
  // The address's number, or -1 when the project did not queue it (a limit
  // or a rule refused it): the reference then keeps the absolute address.
  std::int32_t number = -1;
  // Where its local copy lies, relative to the folder the writer works in.
  std::u16string localFile;
  // Whether this call queued it.
  bool added = false;
};

// What the page and style-sheet scanners need of the project they feed: a
// place to queue each address found, and whether the user asked to stop.
class IScanProject {
 public:
  // Queues the address unless it is known; its number and local file.
  virtual FoundAddress AddFoundAddress(const std::u16string& address) = 0;
  // The same for an address a script names: it is fetched, and the script
  // that names it stays as it is.
  virtual FoundAddress AddNamedAddress(const std::u16string& address) {
    return AddFoundAddress(address);
  }
  // The same for an address only guessed from a script: queued when it is
  // inside the site, and dropped quietly when the site has no such file.
  virtual FoundAddress AddGuessedAddress(const std::u16string&) { return {}; }
  // True once a cancel or a pause has been requested.
  virtual bool IsStopRequested() = 0;

 protected:
  ~IScanProject() = default;
};

}  // namespace kestrine
