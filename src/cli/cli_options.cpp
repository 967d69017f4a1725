#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>

#include "cli/setting_options.h"
#include "kestrine_version.h"

namespace kestrine {

namespace {

constexpr const char* kFooter =
    "Defaults for --workers, --timeout and --output come from the settings file\n"
    "~/.config/kestrine/quorl.cfg (only read): 5 workers, 10 s and ~/Downloads/Kestrine\n"
    "when it holds none. The other options may also be set in ~/.config/kestrine/\n"
    "kestrine.conf as 'key = value' lines, keys named as the long options (level = 5);\n"
    "the command line wins. SIZE takes K, M and G; proxies come from http_proxy,\n"
    "https_proxy and no_proxy.\n"
    "\n"
    "Exit status: 0 finished with no failed download, 1 finished with failures,\n"
    "2 bad usage, 3 cancelled (Ctrl-C).";

void AddModeOption(CLI::App& app, CliOptions& options, const std::string& group) {
  const std::map<std::string, DownloadMode> modes = {{"browsable", DownloadMode::BrowsableCopy},
                                                     {"duplicate", DownloadMode::DuplicateSite},
                                                     {"retrieve", DownloadMode::RetrieveFiles}};
  app.add_option("--mode", options.mode,
                 "browsable: one folder, numbered names; duplicate: mirror the folders; "
                 "retrieve: fetch the given addresses only (default: browsable)")
      ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case).description(""))
      ->type_name("MODE")
      ->group(group);
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
  CLI::App app{"Kestrine: download a website for offline browsing", "kestrine-cli"};
  app.footer(kFooter);
  app.get_formatter()->column_width(36);
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return "kestrine-cli: " + std::string(error.what()) +
           "\nRun with --help for more information.\n";
  });
  app.set_version_flag("-V,--version", "kestrine-cli " KESTRINE_VERSION);
  CliOptions options;
  SettingOptions settings(options);
  int workers = 0;
  int timeout = 0;
  std::string output;
  AddModeOption(app, options, "What to fetch");
  settings.Add(app, SettingOptions::kFetch, "What to fetch");
  settings.Add(app, SettingOptions::kLimits, "Limits");
  settings.Add(app, SettingOptions::kPoliteness, "Politeness");
  const std::string group = "Output";
  auto* outputOption = app.add_option("-P,--output", output, "download folder (default: settings)")
                           ->type_name("DIR")
                           ->group(group);
  auto* workersOption = app.add_option("--workers", workers,
                                       "connections to a host, 1 to 15: the downloads at once over "
                                       "HTTP/1.1 (default: settings)")
                            ->check(CLI::Range(1, 15).description(""))
                            ->type_name("N")
                            ->group(group);
  settings.Add(app, SettingOptions::kOutput, group);
  auto* timeoutOption =
      app.add_option("--timeout", timeout, "time-out in seconds, 10 to 300 (default: settings)")
          ->check(CLI::Range(10, 300).description(""))
          ->type_name("SECONDS")
          ->group(group);
  app.add_flag("-q,--quiet", options.quiet, "print only the summary")->group(group);
  const std::string copies = "An existing copy (FOLDER is its site folder)";
  std::string continueFolder, updateFolder, verifyFolder;
  auto* continueOption =
      app.add_option("--continue", continueFolder,
                     "fetch what an interrupted run of this copy left pending or in flight")
          ->type_name("FOLDER")
          ->group(copies);
  auto* updateOption = app.add_option("--update", updateFolder,
                                      "ask for every stored file again, if changed since, and "
                                      "fetch what is new")
                           ->type_name("FOLDER")
                           ->group(copies);
  auto* verifyOption = app.add_option("--verify", verifyFolder,
                                      "check, without the network, that every reference of "
                                      "the copy finds its file (exit status 1 if not)")
                           ->type_name("FOLDER")
                           ->group(copies);
  std::string serveFolder;
  auto* serveOption = app.add_option("--serve", serveFolder,
                                     "serve the copy on 127.0.0.1, so its scripts, search and "
                                     "navigation work as online, and open it in the browser")
                          ->type_name("FOLDER")
                          ->group(copies);
  app.add_option("--port", options.port, "the port --serve listens on (default: any free one)")
      ->check(CLI::Range(1, 65535).description(""))
      ->type_name("N")
      ->group(copies);
  bool noBrowser = false;
  app.add_flag("--no-browser", noBrowser, "with --serve: do not open the browser")->group(copies);
  app.add_option("URL", options.urls, "start address (http:// or https://), then further ones")
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
  if (*continueOption) options.continueFolder = continueFolder;
  if (*updateOption) options.updateFolder = updateFolder;
  if (*verifyOption) options.verifyFolder = verifyFolder;
  if (*serveOption) options.serveFolder = serveFolder;
  options.openBrowser = !noBrowser;
  // Checked here rather than by the parser, whose "Excludes:" notes would
  // crowd the help text.
  const int copyOptions =
      static_cast<int>(continueOption->count() > 0) + static_cast<int>(updateOption->count() > 0) +
      static_cast<int>(verifyOption->count() > 0) + static_cast<int>(serveOption->count() > 0);
  if (copyOptions > 1) {
    std::fprintf(stderr,
                 "kestrine-cli: --continue, --update, --verify and --serve exclude one "
                 "another\nRun with --help for more information.\n");
    return {std::nullopt, kExitUsage};
  }
  const bool copy = copyOptions == 1;
  if (copy == !options.urls.empty()) {
    std::fprintf(stderr, copy ? "kestrine-cli: --continue, --update, --verify and --serve take no "
                                "URL\n"
                              : "kestrine-cli: a URL is required\nRun with --help for more "
                                "information.\n");
    return {std::nullopt, kExitUsage};
  }
  if (*workersOption) options.workers = workers;
  if (*timeoutOption) options.timeoutSeconds = timeout;
  if (*outputOption) options.output = output;
  return {options, kExitFinished};
}

}  // namespace kestrine
