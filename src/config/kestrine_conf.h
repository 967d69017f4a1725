#pragma once

#include <string>
#include <vector>

#include "config/download_options.h"

namespace kestrine {

// kestrine.conf beside quorl.cfg: plain "key = value" lines with the long
// option names of the command line as keys ("level = 5", "reject = *.iso",
// "robots = off"). Blank lines and lines starting with "#" are skipped; keys
// that take a list may be given more than once.
class KestrineConf {
 public:
  static constexpr const char16_t* kFileName = u"kestrine.conf";
  // A settings file is small; anything larger, or anything but a plain
  // file, is refused with a message rather than read.
  static constexpr std::size_t kMaxFileBytes = 1024 * 1024;
  // Errors said one by one; the rest are counted.
  static constexpr std::size_t kShownErrors = 20;

  // Applies the file's settings over `options`. Every line that cannot be
  // used is reported ("kestrine.conf:7: unknown key 'levle'"); with any such
  // line the caller must not start the run. A missing file is no error; one
  // that is no plain file or is too large is.
  static std::vector<std::string> Apply(const std::string& text, DownloadOptions& options);
  static std::vector<std::string> ApplyFile(const std::u16string& path, DownloadOptions& options);
  // Applies one setting by name, as the file and the command line do; an
  // error text when the key or the value is not good.
  static std::string ApplySetting(const std::string& key, const std::string& value,
                                  DownloadOptions& options);
  // Sets one key in the file (as the window's settings do), keeping every
  // other line and comment: the key's first line is replaced, later ones
  // for it dropped, or a line is added. False when the file cannot be read
  // or written.
  static bool Store(const std::u16string& path, const std::string& key, const std::string& value);
  static std::string Stored(const std::string& text, const std::string& key,
                            const std::string& value);
};

}  // namespace kestrine
