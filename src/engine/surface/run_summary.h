#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrine {

// How the last run ended; Refused when it could not begin (another run
// holds the copy).
enum class RunOutcome { Finished, Paused, Canceled, Refused };

// What a run did, as values for a front end to word: the end notice, the
// terminal's summary.
struct RunSummary {
  RunOutcome outcome = RunOutcome::Finished;
  int succeeded = 0;
  int failed = 0;
  std::int64_t bytes = 0;
  double seconds = 0;
  // The most common reasons of failure, most common first, with their
  // numbers.
  std::vector<std::pair<std::string, int>> commonFailures;
  int refused = 0;       // addresses the limits and rules refused
  int retriedFiles = 0;  // files tried again, and how often in all
  int retries = 0;
  int unwritable = 0;  // files that could not be written
  int rendered = 0;    // pages rendered in a browser
  // The web archive written beside the copy, if one was asked for.
  std::string archivePath;
  std::int64_t archiveBytes = 0;
  bool AllFailed() const { return succeeded == 0 && failed > 0; }
};

}  // namespace kestrine
