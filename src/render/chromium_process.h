#pragma once

#include <sys/types.h>

#include <string>

#include "runtime/result.h"
#include "runtime/unique_fd.h"

namespace kestrine {

// Chromium started headless with its DevTools protocol on a pipe: we write
// commands to `commands()`, it answers on `answers()`. A fresh profile in a
// temporary folder, removed with the process. The sandbox is turned off
// only where Chromium cannot have it (run as root); `sandboxNote` says so.
class ChromiumProcess {
 public:
  // The browser Kestrine uses: $KESTRINE_CHROMIUM, else Debian's
  // /usr/bin/chromium; empty when neither is there.
  static std::string Executable();

  static Result<ChromiumProcess> Start(const std::string& executable);
  ChromiumProcess() = default;
  ChromiumProcess(ChromiumProcess&& other) noexcept;
  ChromiumProcess& operator=(ChromiumProcess&& other) noexcept;
  ~ChromiumProcess();

  int commands() const { return commands_.get(); }
  int answers() const { return answers_.get(); }
  const std::string& sandboxNote() const { return sandboxNote_; }
  // Ends the browser: a moment to close by itself after the command pipe
  // closes, then killed. Its profile folder goes; the answers' pipe stays
  // open until this goes, for its reader to see the end.
  void Stop();

 private:
  pid_t pid_ = -1;
  UniqueFd commands_;
  UniqueFd answers_;
  std::string profile_;
  std::string sandboxNote_;
};

}  // namespace kestrine
