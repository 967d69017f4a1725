#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>

namespace kestrine {

namespace {

constexpr const char* kFooter =
    "Defaults for --workers, --timeout and --output come from the settings file\n"
    "~/.config/kestrine/quorl.cfg (only read): 5 workers, 10 s and ~/Downloads/Kestrine\n"
    "when it holds none.\n"
    "\n"
    "Exit status: 0 finished with no failed download, 1 finished with failures,\n"
    "2 bad usage, 3 cancelled (Ctrl-C).";

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
  CLI::App app{"Kestrine: download a website for offline browsing", "kestrine-cli"};
  app.footer(kFooter);
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return "kestrine-cli: " + std::string(error.what()) +
           "\nRun with --help for more information.\n";
  });
  app.get_formatter()->column_width(34);
  CliOptions options;
  const std::map<std::string, DownloadMode> modes = {
      {"browsable", BrowsableCopy}, {"duplicate", DuplicateSite}, {"retrieve", RetrieveFiles}};
  int workers = 0;
  int timeout = 0;
  std::string output;
  app.add_option("--mode", options.mode,
                 "browsable: one folder, numbered names; duplicate: mirror the folders; "
                 "retrieve: fetch the given addresses only (default: browsable)")
      ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case).description(""))
      ->type_name("MODE");
  auto* workersOption =
      app.add_option("--workers", workers, "downloads at once, 1 to 15 (default: settings)")
          ->check(CLI::Range(1, 15).description(""))
          ->type_name("N");
  auto* timeoutOption =
      app.add_option("--timeout", timeout, "time-out in seconds, 10 to 300 (default: settings)")
          ->check(CLI::Range(10, 300).description(""))
          ->type_name("SECONDS");
  auto* outputOption = app.add_option("-P,--output", output, "download folder (default: settings)")
                           ->type_name("DIR");
  app.add_option("--ca-certificate", options.download.caCertificate,
                 "also trust the certificates in this PEM file (an intranet's own)")
      ->type_name("FILE")
      ->check(CLI::ExistingFile.description(""));
  bool noCheck = false;
  app.add_flag("--no-check-certificate", noCheck, "accept any certificate (insecure)");
  app.add_flag("-q,--quiet", options.quiet, "print only the summary");
  app.add_option("URL", options.urls, "start address (http:// or https://), then further ones")
      ->required()
      ->type_name("");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return {std::nullopt, status == 0 ? kExitFinished : kExitUsage};
  }
  if (*outputOption && output.empty()) {
    std::fprintf(stderr, "kestrine-cli: --output needs a folder name\n");
    return {std::nullopt, kExitUsage};
  }
  if (*workersOption) options.workers = workers;
  if (*timeoutOption) options.timeoutSeconds = timeout;
  if (*outputOption) options.output = output;
  options.download.checkCertificate = !noCheck;
  return {options, kExitFinished};
}

}  // namespace kestrine
