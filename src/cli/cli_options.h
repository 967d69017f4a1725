#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/download_options.h"
#include "site/address.h"

namespace kestrine {

// What the command line asks for. Values left out come from the settings.
struct CliOptions {
  DownloadMode mode = BrowsableCopy;
  std::optional<int> workers;
  std::optional<int> timeoutSeconds;
  std::optional<std::string> output;
  bool quiet = false;
  DownloadOptions download;
  std::vector<std::string> urls;
};

// Exit statuses shared with scripts.
enum CliExit { kExitFinished = 0, kExitFailures = 1, kExitUsage = 2, kExitCanceled = 3 };

// Parses the arguments; on bad usage or --help prints the message and
// returns the exit status to end with instead.
struct ParsedCommandLine {
  std::optional<CliOptions> options;
  int exitStatus = kExitFinished;
};
ParsedCommandLine ParseCommandLine(int argc, char** argv);

}  // namespace kestrine
