#include "config/option_values.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace kestrine {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<double> ParseNumber(const std::string& text, std::size_t& used) {
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  used = static_cast<std::size_t>(end - text.c_str());
  if (used == 0 || !std::isfinite(value) || value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::int64_t> OptionValues::ParseSize(const std::string& text) {
  std::size_t used = 0;
  const auto number = ParseNumber(text, used);
  if (!number) return std::nullopt;
  const std::string unit = Lower(text.substr(used));
  double factor = 1;
  if (unit == "k" || unit == "kb") {
    factor = 1024.0;
  } else if (unit == "m" || unit == "mb") {
    factor = 1024.0 * 1024;
  } else if (unit == "g" || unit == "gb") {
    factor = 1024.0 * 1024 * 1024;
  } else if (!unit.empty() && unit != "b") {
    return std::nullopt;
  }
  const double bytes = *number * factor;
  // A size that rounds down to no bytes would read as "no limit".
  if (bytes > 9.0e18 || (bytes > 0 && bytes < 1)) return std::nullopt;
  return static_cast<std::int64_t>(bytes);
}

std::optional<double> OptionValues::ParseSeconds(const std::string& text) {
  std::size_t used = 0;
  const auto number = ParseNumber(text, used);
  if (!number || used != text.size() || *number > 86400) return std::nullopt;
  return number;
}

std::optional<int> OptionValues::ParseCount(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return std::atoi(text.c_str());
}

std::optional<bool> OptionValues::ParseSwitch(const std::string& text) {
  const std::string value = Lower(text);
  if (value == "on" || value == "true" || value == "yes" || value == "1") return true;
  if (value == "off" || value == "false" || value == "no" || value == "0") return false;
  return std::nullopt;
}

std::string OptionValues::SizeText(std::int64_t bytes) {
  const char* units[] = {"B", "KB", "MB", "GB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (value == std::floor(value)) {
    std::snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  }
  return text;
}

}  // namespace kestrine
