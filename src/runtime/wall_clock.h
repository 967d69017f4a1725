#pragma once

#include <string>

namespace kestrine {

// The time of day as records and indexes write it.
class WallClock {
 public:
  // "2026-12-08T17:44:27.385021Z": W3C form, UTC, to the microsecond.
  static std::string W3cNow();
};

}  // namespace kestrine
