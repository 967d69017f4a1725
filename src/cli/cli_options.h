#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "site/address/address.h"

namespace kestrine {

// What the command line asks for. Values left out come from the settings
// file (worker count, time-out, folder) and from kestrine.conf (the rest).
struct CliOptions {
  DownloadMode mode = DownloadMode::BrowsableCopy;
  std::optional<int> workers;
  std::optional<int> timeoutSeconds;
  std::optional<std::string> output;
  bool quiet = false;
  // The download options given, as kestrine.conf keys and values, applied
  // over the file's in this order.
  std::vector<std::pair<std::string, std::string>> settings;
  std::vector<std::string> urls;
  // A site folder to continue, update or check instead of a new project.
  std::optional<std::string> continueFolder;
  std::optional<std::string> updateFolder;
  std::optional<std::string> verifyFolder;
  // A site folder to serve on 127.0.0.1, on `port` (0: any free one).
  std::optional<std::string> serveFolder;
  int port = 0;
  bool openBrowser = true;
  // The words the program was started with, for an archive's warcinfo.
  std::string commandLine;
};

// Exit statuses shared with scripts.
enum CliExit { kExitFinished = 0, kExitFailures = 1, kExitUsage = 2, kExitCanceled = 3 };

// Parses the arguments; on bad usage, --help or --version prints the message
// and returns the exit status to end with instead.
struct ParsedCommandLine {
  std::optional<CliOptions> options;
  int exitStatus = kExitFinished;
};
ParsedCommandLine ParseCommandLine(int argc, char** argv);

}  // namespace kestrine
