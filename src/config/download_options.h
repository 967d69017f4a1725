#pragma once

#include <string>

namespace kestrine {

// What a run needs beyond the settings record: certificates now, limits and
// politeness as they come. Filled by a front end (command line, kestrine.conf)
// and read by the engine, which never parses text itself.
struct DownloadOptions {
  // An extra trust anchor (PEM file) beside the system's certificates.
  std::string caCertificate;
  // False accepts any certificate, as for a test site with its own.
  bool checkCertificate = true;
};

}  // namespace kestrine
