#include "config/kestrine_conf.h"

#include <unistd.h>

#include <functional>
#include <map>

#include "config/option_values.h"
#include "runtime/fs/local_files.h"
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

// The archive's NAME, made absolute from the working folder as a command
// line means it; ".warc.gz" given with it is taken off.
Setter ArchivePath() {
  return [](const std::string& value, DownloadOptions& options) {
    if (value.empty()) return false;
    std::string path = value;
    if (path.ends_with(".warc.gz")) path.resize(path.size() - 8);
    if (path.front() != '/') {
      char here[4096];
      if (::getcwd(here, sizeof here) == nullptr) return false;
      path = std::string(here) + "/" + path;
    }
    options.warcFile = path;
    return true;
  };
}

Setter RenderChoice() {
  return [](const std::string& value, DownloadOptions& options) {
    const std::string mode = StringUtility::ToLowerAscii(value);
    if (mode == "never") {
      options.render = RenderMode::Never;
    } else if (mode == "auto") {
      options.render = RenderMode::Auto;
    } else if (mode == "always") {
      options.render = RenderMode::Always;
    } else {
      return false;
    }
    return true;
  };
}

// A count that must lie in [least, most].
Setter CountBetween(int least, int most, int DownloadOptions::*field) {
  return [=](const std::string& value, DownloadOptions& options) {
    const auto count = OptionValues::ParseCount(value);
    if (!count || *count < least || *count > most) return false;
    options.*field = *count;
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
      // Tries of one file: 1 (no retry) to 100.
      {"tries", CountBetween(1, 100, &DownloadOptions::tries)},
      {"waitretry",
       Parsed(OptionValues::ParseSeconds, [](auto& o, double v) { o.waitRetrySeconds = v; })},
      {"accept", List(&DownloadOptions::accept)},
      {"reject", List(&DownloadOptions::reject)},
      {"include", List(&DownloadOptions::include)},
      {"exclude", List(&DownloadOptions::exclude)},
      {"external-pages",
       Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.externalPages = v; })},
      {"span-hosts", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.spanHosts = v; })},
      {"trap-rules", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.trapRules = v; })},
      {"wait", Parsed(OptionValues::ParseSeconds, [](auto& o, double v) { o.waitSeconds = v; })},
      // Streams on one connection: 1 (none at once) to 128.
      {"max-streams", CountBetween(1, 128, &DownloadOptions::maxStreams)},
      {"limit-rate",
       Parsed(OptionValues::ParseSize, [](auto& o, std::int64_t v) { o.limitRate = v; })},
      {"user-agent", Text(&DownloadOptions::userAgent)},
      {"robots", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.robots = v; })},
      {"sitemaps", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.sitemaps = v; })},
      {"header", List(&DownloadOptions::headers)},
      {"load-cookies", ReadableFile(&DownloadOptions::loadCookies)},
      {"ca-certificate", Text(&DownloadOptions::caCertificate)},
      {"render", RenderChoice()},
      {"render-tabs", CountBetween(1, 16, &DownloadOptions::renderTabs)},
      {"render-timeout", CountBetween(1, 300, &DownloadOptions::renderTimeoutSeconds)},
      {"warc-file", ArchivePath()},
      {"warc-cdx", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.warcCdx = v; })},
      {"wacz", Parsed(OptionValues::ParseSwitch, [](auto& o, bool v) { o.wacz = v; })},
      {"warc-max-size",
       Parsed(OptionValues::ParseSize, [](auto& o, std::int64_t v) { o.warcMaxSize = v; })},
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
  int unshown = 0;
  int number = 0;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = StringUtility::TrimAscii(text.substr(begin, end - begin));
    begin = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    std::string error =
        equals == std::string::npos
            ? std::string("expected 'key = value'")
            : ApplySetting(StringUtility::TrimAscii(line.substr(0, equals)),
                           StringUtility::TrimAscii(line.substr(equals + 1)), options);
    if (error.empty()) continue;
    // A file of nothing but bad lines says its first few, then how many more.
    if (errors.size() < kShownErrors) {
      errors.push_back("kestrine.conf:" + std::to_string(number) + ": " + error);
    } else {
      ++unshown;
    }
  }
  if (unshown > 0) {
    errors.push_back("kestrine.conf: " + StringUtility::WithThousands(unshown) + " more bad line" +
                     (unshown == 1 ? "" : "s"));
  }
  return errors;
}

std::string KestrineConf::Stored(const std::string& text, const std::string& key,
                                 const std::string& value) {
  std::string out;
  bool written = false;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    const std::string trimmed = StringUtility::TrimAscii(line);
    const std::size_t equals = trimmed.find('=');
    const bool forKey = !trimmed.empty() && trimmed[0] != '#' && equals != std::string::npos &&
                        StringUtility::TrimAscii(trimmed.substr(0, equals)) == key;
    if (forKey && written) continue;
    if (forKey) {
      out.append(key).append(" = ").append(value);
    } else {
      out += line;
    }
    out += '\n';
    written = written || forKey;
  }
  if (!written) out += key + " = " + value + "\n";
  return out;
}

bool KestrineConf::Store(const std::u16string& path, const std::string& key,
                         const std::string& value) {
  const Result<std::string> text = ReadLocalFile(path, kMaxFileBytes);
  if (!text && text.error().kind != ErrorKind::Missing) return false;
  return WriteLocalFile(path, Stored(text ? *text : std::string(), key, value),
                        WriteMode::Truncate);
}

std::vector<std::string> KestrineConf::ApplyFile(const std::u16string& path,
                                                 DownloadOptions& options) {
  const Result<std::string> text = ReadLocalFile(path, kMaxFileBytes);
  if (!text) {
    if (text.error().kind == ErrorKind::Missing) return {};
    return {"kestrine.conf: " + text.error().message};
  }
  return Apply(*text, options);
}

}  // namespace kestrine
