#include "config/kestrine_conf.h"

#include <unistd.h>

#include <functional>
#include <map>
#include <sstream>

#include "config/option_values.h"
#include "runtime/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

using Setter = std::function<bool(const std::string&, DownloadOptions&)>;

template <typename Parse, typename Store>
Setter Parsed(Parse parse, Store store) {
  return [parse, store](const std::string& value, DownloadOptions& options) {
    const auto parsed = parse(value);
    if (!parsed) return false;
    store(options, *parsed);
    return true;
  };
}

Setter Text(std::string DownloadOptions::*field) {
  return [field](const std::string& value, DownloadOptions& options) {
    options.*field = value;
    return true;
  };
}

// A file the run will read: one that is missing or unreadable is said now,
// not found out by its silence later.
Setter ReadableFile(std::string DownloadOptions::*field) {
  return [field](const std::string& value, DownloadOptions& options) {
    if (value.empty() || ::access(value.c_str(), R_OK) != 0) return false;
    options.*field = value;
    return true;
  };
}

// Streams on one connection: 1 (none at once) to 128.
Setter StreamCount() {
  return [](const std::string& value, DownloadOptions& options) {
    const auto streams = OptionValues::ParseCount(value);
    if (!streams || *streams < 1 || *streams > 128) return false;
    options.maxStreams = *streams;
    return true;
  };
}

Setter List(std::vector<std::string> DownloadOptions::*field) {
  return [field](const std::string& value, DownloadOptions& options) {
    if (value.empty()) return false;
    (options.*field).push_back(value);
    return true;
  };
}

const std::map<std::string, Setter>& Setters() {
  static const std::map<std::string, Setter> setters = {
      {"level", Parsed(OptionValues::ParseCount, [](auto& o, int v) { o.level = v; })},
      {"quota", Parsed(OptionValues::ParseSize, [](auto& o, std::int64_t v) { o.quota = v; })},
      {"max-files", Parsed(OptionValues::ParseCount, [](auto& o, int v) { o.maxFiles = v; })},
      {"max-filesize",
       Parsed(OptionValues::ParseSize, [](auto& o, std::int64_t v) { o.maxFileSize = v; })},
      {"max-time", Parsed(OptionValues::ParseCount, [](auto& o, int v) { o.maxTime = v; })},
      {"accept", List(&DownloadOptions::accept)},
      {"reject", List(&DownloadOptions::reject)},
      {"include", List(&DownloadOptions::include)},
      {"exclude", List(&DownloadOptions::exclude)},
      {"external-pages",
       Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.externalPages = v; })},
      {"span-hosts", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.spanHosts = v; })},
      {"trap-rules", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.trapRules = v; })},
      {"wait", Parsed(OptionValues::ParseSeconds, [](auto& o, double v) { o.waitSeconds = v; })},
      {"max-streams", StreamCount()},
      {"limit-rate",
       Parsed(OptionValues::ParseSize, [](auto& o, std::int64_t v) { o.limitRate = v; })},
      {"user-agent", Text(&DownloadOptions::userAgent)},
      {"robots", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.robots = v; })},
      {"sitemaps", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.sitemaps = v; })},
      {"header", List(&DownloadOptions::headers)},
      {"load-cookies", ReadableFile(&DownloadOptions::loadCookies)},
      {"ca-certificate", Text(&DownloadOptions::caCertificate)},
      {"check-certificate",
       Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.checkCertificate = v; })},
  };
  return setters;
}

}  // namespace

std::string KestrineConf::ApplySetting(const std::string& key, const std::string& value,
                                       DownloadOptions& options) {
  const auto setter = Setters().find(key);
  if (setter == Setters().end()) return "unknown key '" + StringUtility::Printable(key) + "'";
  // A line break in a header or the user agent would put a request of its
  // own on the wire.
  if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    return "a value of " + key + " may not hold a line break or NUL";
  }
  if (!setter->second(value, options)) {
    return "bad value '" + StringUtility::Printable(value) + "' for " + key;
  }
  return {};
}

std::vector<std::string> KestrineConf::Apply(const std::string& text, DownloadOptions& options) {
  std::vector<std::string> errors;
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = StringUtility::TrimAscii(line);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    const std::string where = "kestrine.conf:" + std::to_string(number) + ": ";
    if (equals == std::string::npos) {
      errors.push_back(where + "expected 'key = value'");
      continue;
    }
    const std::string error =
        ApplySetting(StringUtility::TrimAscii(line.substr(0, equals)),
                     StringUtility::TrimAscii(line.substr(equals + 1)), options);
    if (!error.empty()) errors.push_back(where + error);
  }
  return errors;
}

std::vector<std::string> KestrineConf::ApplyFile(const std::u16string& path,
                                                 DownloadOptions& options) {
  const auto text = ReadLocalFile(path);
  if (!text) return {};
  return Apply(*text, options);
}

}  // namespace kestrine
