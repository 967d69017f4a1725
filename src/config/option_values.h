#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrine {

// The value forms that the command line and kestrine.conf share.
class OptionValues {
 public:
  // "100", "64K", "1.5M", "2G" (powers of 1024); nothing when malformed.
  static std::optional<std::int64_t> ParseSize(const std::string& text);
  static std::optional<double> ParseSeconds(const std::string& text);
  static std::optional<int> ParseCount(const std::string& text);
  // "on", "true", "yes", "1" and "off", "false", "no", "0".
  static std::optional<bool> ParseSwitch(const std::string& text);
  // 104857600 as "100 MB".
  static std::string SizeText(std::int64_t bytes);
};

}  // namespace kestrine
