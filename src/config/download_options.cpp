#include "config/download_options.h"

namespace kestrine {

std::string DefaultUserAgent() { return "Kestrine/2.0"; }

}  // namespace kestrine
