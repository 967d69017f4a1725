#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>

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

// Collects an option's values as kestrine.conf settings, in the order given.
class Settings {
 public:
  explicit Settings(CliOptions& options) : options_(options) {}
  void Value(CLI::App& app, const std::string& names, const std::string& key,
             const std::string& type, const std::string& help, const std::string& group) {
    app.add_option_function<std::string>(
           names,
           [this, key](const std::string& value) {
             options_.settings.push_back({key, value});
           },
           help)
        ->type_name(type)
        ->group(group);
  }
  void List(CLI::App& app, const std::string& names, const std::string& key,
            const std::string& type, const std::string& help, const std::string& group) {
    app.add_option_function<std::vector<std::string>>(
           names,
           [this, key](const std::vector<std::string>& values) {
             for (const std::string& value : values) options_.settings.push_back({key, value});
           },
           help)
        ->type_name(type)
        ->delimiter(',')
        ->allow_extra_args(false)
        ->group(group);
  }
  void Switch(CLI::App& app, const std::string& names, const std::string& key,
              const std::string& value, const std::string& help, const std::string& group) {
    app.add_flag_callback(
           names,
           [this, key, value] {
             options_.settings.push_back({key, value});
           },
           help)
        ->group(group);
  }

 private:
  CliOptions& options_;
};

void AddFetchOptions(CLI::App& app, CliOptions& options, Settings& settings) {
  const std::map<std::string, DownloadMode> modes = {
      {"browsable", BrowsableCopy}, {"duplicate", DuplicateSite}, {"retrieve", RetrieveFiles}};
  const std::string group = "What to fetch";
  app.add_option("--mode", options.mode,
                 "browsable: one folder, numbered names; duplicate: mirror the folders; "
                 "retrieve: fetch the given addresses only (default: browsable)")
      ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case).description(""))
      ->type_name("MODE")
      ->group(group);
  settings.Value(app, "-l,--level", "level", "N",
                 "follow links at most N deep from the start page (0); the images, style sheets "
                 "and scripts of the last pages, and what those name, come up to 2 deeper; "
                 "default: no limit",
                 group);
  settings.Switch(app, "--no-external-pages", "external-pages", "off",
                  "fetch no pages outside the start address's folder (their images, style "
                  "sheets and scripts still come when a page of the site uses them)",
                  group);
  settings.Switch(app, "--span-hosts", "span-hosts", "on",
                  "the default: pages and files on other hosts are fetched (not scanned)", group);
  settings.Switch(app, "--no-span-hosts", "span-hosts", "off",
                  "fetch nothing from other hosts than the start address's; links to them "
                  "go to the web",
                  group);
  settings.List(app, "-A,--accept", "accept", "PATTERNS",
                "fetch only files whose name matches one of these shell patterns "
                "(comma-separated); pages are always followed",
                group);
  settings.List(app, "-R,--reject", "reject", "PATTERNS",
                "fetch no file whose name matches one of these patterns", group);
  settings.List(app, "--include", "include", "PATTERNS",
                "fetch only addresses that match one of these patterns", group);
  settings.List(app, "--exclude", "exclude", "PATTERNS",
                "fetch no address that matches one of these patterns", group);
  settings.Switch(app, "--no-sitemaps", "sitemaps", "off",
                  "do not queue the pages the site's sitemaps name (robots.txt Sitemap: lines, "
                  "else /sitemap.xml; at most 50,000 addresses a sitemap, 500,000 in all)",
                  group);
  settings.Switch(app, "--no-trap-rules", "trap-rules", "off",
                  "turn off the crawler-trap rules (paths over 32 folders deep, a folder "
                  "repeated over 3 times, addresses over 2,048 characters, over 1,000 query "
                  "strings on one path, over 16 files in a row each named by the one before)",
                  group);
}

void AddLimitOptions(CLI::App& app, Settings& settings) {
  const std::string group = "Limits";
  settings.Value(app, "-Q,--quota", "quota", "SIZE",
                 "stop taking new files once this much is stored", group);
  settings.Value(app, "--max-files", "max-files", "N", "stop taking new files once N are stored",
                 group);
  settings.Value(app, "--max-filesize", "max-filesize", "SIZE",
                 "stop and fail any file larger than this", group);
  settings.Value(app, "--max-time", "max-time", "SECONDS",
                 "stop and fail any file that takes longer than this", group);
}

void AddPolitenessOptions(CLI::App& app, Settings& settings) {
  const std::string group = "Politeness";
  settings.Value(app, "-w,--wait", "wait", "SECONDS",
                 "wait this long between two requests, making one request at a time", group);
  settings.Value(app, "-t,--tries", "tries", "N",
                 "try a file up to N times when its transfer fails for a passing reason (a "
                 "connection lost, a time-out, 408, 429, 500, 502, 503, 504); waits double from "
                 "1 s, or are what Retry-After asks, up to 120 s; a host that answers 429 gets "
                 "half as many requests at once (default: 3; 1: never again)",
                 group);
  settings.Value(app, "--waitretry", "waitretry", "SECONDS",
                 "the longest wait between two tries of a file (default: 10)", group);
  settings.Value(app, "--limit-rate", "limit-rate", "RATE",
                 "receive at most RATE bytes per second in all (K, M, G)", group);
  settings.Value(app, "-U,--user-agent", "user-agent", "TEXT",
                 "the User-Agent to send (default: Kestrine/2.0)", group);
  settings.Switch(app, "--no-robots", "robots", "off",
                  "ignore the site's robots.txt (honoured for every address by default; a "
                  "server error on it takes nothing of the site but the start page this run)",
                  group);
  settings.List(app, "--header", "header", "'NAME: VALUE'", "send this header too (repeatable)",
                group);
  app.get_option("--header")->delimiter('\0');
  settings.Value(app, "--load-cookies", "load-cookies", "FILE",
                 "send the cookies of this Netscape-format file", group);
  settings.Value(app, "--ca-certificate", "ca-certificate", "FILE",
                 "also trust the certificates in this PEM file (an intranet's own)", group);
  settings.Switch(app, "--no-check-certificate", "check-certificate", "off",
                  "accept any certificate (insecure)", group);
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
  Settings settings(options);
  int workers = 0;
  int timeout = 0;
  std::string output;
  AddFetchOptions(app, options, settings);
  AddLimitOptions(app, settings);
  AddPolitenessOptions(app, settings);
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
  settings.Value(app, "--max-streams", "max-streams", "N",
                 "requests at once on one HTTP/2 connection, 1 to 128 (default: 32; 1: one at a "
                 "time)",
                 group);
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
