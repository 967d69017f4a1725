#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <map>

namespace kestrine {

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
  CLI::App app{"Kestrine: download a website for offline browsing", "kestrine-cli"};
  CliOptions options;
  const std::map<std::string, DownloadMode> modes = {
      {"browsable", BrowsableCopy}, {"duplicate", DuplicateSite}, {"retrieve", RetrieveFiles}};
  int workers = 0;
  int timeout = 0;
  std::string output;
  app.add_option("--mode", options.mode,
                 "browsable: one folder, numbered names; duplicate: mirror the folders; "
                 "retrieve: fetch the given addresses only")
      ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case));
  auto* workersOption =
      app.add_option("--workers", workers, "downloads at once (1 to 15)")->check(CLI::Range(1, 15));
  auto* timeoutOption = app.add_option("--timeout", timeout, "time-out in seconds (10 to 300)")
                            ->check(CLI::Range(10, 300));
  auto* outputOption = app.add_option("--output", output, "download folder");
  app.add_flag("--quiet", options.quiet, "print only the summary");
  app.add_option("URL", options.urls, "start address, then further addresses")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return {std::nullopt, status == 0 ? kExitFinished : kExitUsage};
  }
  if (*workersOption) options.workers = workers;
  if (*timeoutOption) options.timeoutSeconds = timeout;
  if (*outputOption) options.output = output;
  return {options, kExitFinished};
}

}  // namespace kestrine
