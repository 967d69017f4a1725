#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace kestrine {

// The terminal as the command line shares it: a live progress line on
// standard output, and whole lines on either stream. A line always clears
// the live line first, so the two never run into each other. Lines show a
// site's text (addresses, file names, reasons): every control character in
// them is written out visibly, never sent to the terminal.
class Console {
 public:
  Console(std::FILE* out, std::FILE* err, bool live) : out_(out), err_(err), live_(live) {}

  bool live() const { return live_; }
  void DrawLiveLine(const std::string& text);
  void ClearLiveLine();
  void Print(const std::string& line);
  // "kestrine-cli: " and the message, on the error stream.
  void Error(const std::string& message);

 private:
  void ClearLocked();

  std::mutex mutex_;
  std::FILE* out_;
  std::FILE* err_;
  const bool live_;
  bool drawn_ = false;
};

}  // namespace kestrine
