#include "config/download_options.h"

#include "kestrine_version.h"

namespace kestrine {

std::string DefaultUserAgent() { return "Kestrine/" KESTRINE_VERSION; }

}  // namespace kestrine
