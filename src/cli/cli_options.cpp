#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>
#include <iterator>
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

// The options that name an existing copy's site folder; at most one is
// given.
struct CopyOption {
  const char* name;
  const char* help;
  std::optional<std::string> CliOptions::*folder;
};
constexpr CopyOption kCopyOptions[] = {
    {"--continue", "fetch what an interrupted run of this copy left pending or in flight",
     &CliOptions::continueFolder},
    {"--update", "ask for every stored file again, if changed since, and fetch what is new",
     &CliOptions::updateFolder},
    {"--verify",
     "check, without the network, that every reference of the copy finds its file (exit status "
     "1 if not)",
     &CliOptions::verifyFolder},
    {"--serve",
     "serve the copy on 127.0.0.1, so its scripts, search and navigation work as online (from "
     "its web archive, as the site answered, when it has one), and open it in the browser",
     &CliOptions::serveFolder},
};

// The command line as CLI11 reads it into CliOptions.
class CommandLine {
 public:
  CommandLine() : settings_(options_) {
    app_.footer(kFooter);
    app_.get_formatter()->column_width(36);
    app_.failure_message([](const CLI::App*, const CLI::Error& error) {
      return "kestrine-cli: " + std::string(error.what()) +
             "\nRun with --help for more information.\n";
    });
    app_.set_version_flag("-V,--version", "kestrine-cli " KESTRINE_VERSION);
    AddModeOption(app_, options_, "What to fetch");
    settings_.Add(app_, SettingOptions::kFetch, "What to fetch");
    settings_.Add(app_, SettingOptions::kLimits, "Limits");
    settings_.Add(app_, SettingOptions::kPoliteness, "Politeness");
    AddOutputOptions("Output");
    settings_.Add(app_, SettingOptions::kRender, "Rendering");
    settings_.Add(app_, SettingOptions::kArchive, "Web archive");
    AddCopyOptions("An existing copy (FOLDER is its site folder)");
    app_.add_option("URL", options_.urls, "start address (http:// or https://), then further ones")
        ->type_name("");
  }

  ParsedCommandLine Parse(int argc, char** argv) {
    try {
      app_.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
      const int status = app_.exit(error);
      return {std::nullopt, status == 0 ? kExitFinished : kExitUsage};
    }
    if (*outputOption_ && output_.empty()) return Refuse("--output needs a folder name\n");
    int copies = 0;
    for (std::size_t i = 0; i < std::size(kCopyOptions); ++i) {
      if (copyOptions_[i]->count() == 0) continue;
      options_.*kCopyOptions[i].folder = copyFolders_[i];
      ++copies;
    }
    // Checked here rather than by the parser, whose "Excludes:" notes would
    // crowd the help text.
    if (copies > 1) {
      return Refuse(
          "--continue, --update, --verify and --serve exclude one another\n"
          "Run with --help for more information.\n");
    }
    if (copies == 1 && !options_.urls.empty()) {
      return Refuse("--continue, --update, --verify and --serve take no URL\n");
    }
    if (copies == 0 && options_.urls.empty()) {
      return Refuse("a URL is required\nRun with --help for more information.\n");
    }
    options_.openBrowser = !noBrowser_;
    if (*workersOption_) options_.workers = workers_;
    if (*timeoutOption_) options_.timeoutSeconds = timeout_;
    if (*outputOption_) options_.output = output_;
    return {options_, kExitFinished};
  }

 private:
  static ParsedCommandLine Refuse(const char* message) {
    std::fprintf(stderr, "kestrine-cli: %s", message);
    return {std::nullopt, kExitUsage};
  }

  void AddOutputOptions(const std::string& group) {
    outputOption_ = app_.add_option("-P,--output", output_, "download folder (default: settings)")
                        ->type_name("DIR")
                        ->group(group);
    workersOption_ = app_.add_option("--workers", workers_,
                                     "connections to a host, 1 to 15: the downloads at once over "
                                     "HTTP/1.1 (default: settings)")
                         ->check(CLI::Range(1, 15).description(""))
                         ->type_name("N")
                         ->group(group);
    settings_.Add(app_, SettingOptions::kOutput, group);
    timeoutOption_ =
        app_.add_option("--timeout", timeout_, "time-out in seconds, 10 to 300 (default: settings)")
            ->check(CLI::Range(10, 300).description(""))
            ->type_name("SECONDS")
            ->group(group);
    app_.add_flag("-q,--quiet", options_.quiet, "print only the summary")->group(group);
  }

  void AddCopyOptions(const std::string& group) {
    for (std::size_t i = 0; i < std::size(kCopyOptions); ++i) {
      copyOptions_[i] = app_.add_option(kCopyOptions[i].name, copyFolders_[i], kCopyOptions[i].help)
                            ->type_name("FOLDER")
                            ->group(group);
    }
    app_.add_option("--port", options_.port, "the port --serve listens on (default: any free one)")
        ->check(CLI::Range(1, 65535).description(""))
        ->type_name("N")
        ->group(group);
    app_.add_flag("--no-browser", noBrowser_, "with --serve: do not open the browser")
        ->group(group);
  }

  CLI::App app_{"Kestrine: download a website for offline browsing", "kestrine-cli"};
  CliOptions options_;
  SettingOptions settings_;
  int workers_ = 0;
  int timeout_ = 0;
  std::string output_;
  bool noBrowser_ = false;
  CLI::Option* outputOption_ = nullptr;
  CLI::Option* workersOption_ = nullptr;
  CLI::Option* timeoutOption_ = nullptr;
  std::array<std::string, std::size(kCopyOptions)> copyFolders_;
  std::array<CLI::Option*, std::size(kCopyOptions)> copyOptions_{};
};

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
  ParsedCommandLine parsed = CommandLine().Parse(argc, argv);
  if (parsed.options) {
    for (int i = 0; i < argc; ++i) {
      if (i > 0) parsed.options->commandLine += ' ';
      parsed.options->commandLine += argv[i];
    }
  }
  return parsed;
}

}  // namespace kestrine
