// kestrine-cli: downloads a website for offline browsing, headless.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/interrupts.h"
#include "cli/progress_line.h"
#include "cli/terminal_queue_list.h"
#include "cli/terminal_run_state.h"
#include "cli/terminal_status_monitor.h"
#include "config/kestrine_conf.h"
#include "config/setting_util.h"
#include "engine/mend/archive_verifier.h"
#include "engine/mend/copy_verifier.h"
#include "engine/project.h"
#include "presentation/run_progress.h"
#include "render/chromium_process.h"
#include "render/chromium_renderer.h"
#include "runtime/allocator_tuning.h"
#include "runtime/fs/local_files.h"
#include "runtime/net/http_client.h"
#include "runtime/string_utility.h"
#include "site/address/start_address.h"
#include "viewer/copy_viewer.h"

namespace kestrine {
namespace {

// The folder as given, absolute, without a trailing separator.
std::string CleanFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(folder, error);
  if (error) path = folder;
  std::string clean = path.lexically_normal().string();
  while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
  return clean;
}

// Applies the command line over the settings in memory; the settings file
// itself is only read. The download folder must exist or be made now.
bool ApplySettings(const CliOptions& options, Console& console) {
  SettingUtil& settings = SettingUtil::GetInstance();
  settings.Load();
  if (options.workers) settings.record().threadNumber = *options.workers;
  if (options.timeoutSeconds) settings.record().timeOut = *options.timeoutSeconds;
  if (options.output) {
    const std::string folder = CleanFolder(*options.output);
    if (settings.SetDownloadFolder(StringUtility::FromUtf8(folder)) != FolderResult::Stored) {
      console.Error("the output folder name is too long: " + folder);
      return false;
    }
  }
  const std::u16string folder = settings.GetDownloadFolder();
  if (!CreateFolders(folder)) {
    console.Error("cannot create the download folder " + NativePath(folder));
    return false;
  }
  return true;
}

void WatchRun(Project& project, TerminalStatusMonitor& monitor, ProgressLine* line,
              Console& console) {
  // The live line is drawn five times a second; the end of the run is taken
  // as soon as it comes.
  if (line == nullptr) {
    monitor.WaitForRunEnd();
  } else {
    while (!monitor.WaitForRunEnd(std::chrono::milliseconds(200))) line->Draw();
  }
  project.WaitForRun();
  console.ClearLiveLine();
}

void ListFailures(const TerminalQueueList& list, int failed, Console& console) {
  const auto failures = list.Failures();
  if (failures.empty()) return;
  console.Print("Failed downloads" +
                (failed > static_cast<int>(failures.size())
                     ? " (the first " + std::to_string(failures.size()) + "; all in download.log)"
                     : std::string()) +
                ":");
  for (const auto& failure : failures)
    console.Print("  " + failure.address + ": " + failure.reason);
}

// kestrine.conf, then the command line over it; every bad line or value is
// reported and the run does not start.
std::optional<DownloadOptions> DownloadOptionsFor(const CliOptions& options, Console& console) {
  DownloadOptions download;
  std::vector<std::string> errors = KestrineConf::ApplyFile(
      SettingUtil::GetInstance().GetConfigFolder() + u"\\" + KestrineConf::kFileName, download);
  for (const auto& [key, value] : options.settings) {
    const std::string error = KestrineConf::ApplySetting(key, value, download);
    if (!error.empty()) errors.push_back(std::string("--").append(key).append(": ").append(error));
  }
  for (const std::string& error : errors) console.Error(error);
  if (!errors.empty()) return std::nullopt;
  download.commandLine = options.commandLine;
  if (!download.checkCertificate) {
    console.Error("warning: certificates are not checked; anyone on the way can change the copy");
  }
  return download;
}

// The browser pages are rendered in, unless the options say never. Without
// Chromium, "auto" goes on without rendering and says so once; "always"
// cannot (the caller ends with a usage error).
std::unique_ptr<ChromiumRenderer> RendererFor(DownloadOptions& options, Console& console) {
  if (options.render == RenderMode::Never) return nullptr;
  const std::string chromium = ChromiumProcess::Executable();
  if (chromium.empty()) {
    if (options.render == RenderMode::Always) {
      console.Error("--render always needs Chromium (/usr/bin/chromium, or KESTRINE_CHROMIUM)");
    } else {
      console.Error("Chromium is not installed: pages are not rendered");
      options.render = RenderMode::Never;
    }
    return nullptr;
  }
  return std::make_unique<ChromiumRenderer>(ChromiumRenderer::Settings{
      chromium, options.renderTabs, std::chrono::seconds(options.renderTimeoutSeconds),
      [&console](const std::string& line) { console.Error(line); }});
}

void ReportLimits(const Project& project, Console& console) {
  const std::string limit = project.LimitReached();
  if (!limit.empty()) console.Print("Finished: " + limit);
  for (const std::string& line : project.AddressLines()) console.Print(line);
}

int Summarize(Project& project, TerminalStatusMonitor& monitor, const TerminalQueueList& list,
              double seconds, Console& console) {
  const RunTally& tally = project.tally();
  const std::u16string outcome = monitor.StatusText();
  const std::string siteFolder = NativePath(project.siteFolder());
  ListFailures(list, tally.failed, console);
  ReportLimits(project, console);
  const std::string startFailure = list.StartPageFailure();
  if (!startFailure.empty() && tally.succeeded == 0) {
    console.Error("the start page could not be fetched: " + startFailure);
  }
  char line[160];
  std::snprintf(line, sizeof line, ": %d succeeded, %d failed, %s in %.1f s",
                tally.succeeded.load(), tally.failed.load(), HumanBytes(tally.bytes).c_str(),
                seconds);
  console.Print(StringUtility::ToUtf8(outcome) + line);
  if (project.IsUpdating()) {
    console.Print("Update: " + std::to_string(tally.unchanged) + " unchanged, " +
                  std::to_string(tally.changed) + " changed, " + std::to_string(tally.added) +
                  " new, " + std::to_string(tally.gone) + " gone");
  }
  const std::optional<CopyVerifier::Report> check = project.LastCheck();
  console.Print("Check: " +
                (check ? check->Summary()
                       : CopyVerifier::Verify(StringUtility::FromUtf8(siteFolder)).Summary()));
  console.Print("Folder: " + siteFolder);
  if (const auto archive = project.LastArchive()) {
    for (const std::string& error : archive->errors) console.Error("web archive: " + error);
    if (!archive->path.empty()) {
      console.Print("Web archive: " + archive->path + " (" +
                    HumanBytes(static_cast<std::int64_t>(archive->bytes)) + ")");
    }
  }
  if (project.LastOutcome() == RunOutcome::Canceled) return kExitCanceled;
  return tally.failed > 0 ? kExitFailures : kExitFinished;
}

// Checks every start address as the window does: a bare host gets
// https://, anything that is not an http or https address is refused.
bool AddressesAreWeb(CliOptions& options, Console& console) {
  if (options.continueFolder || options.updateFolder) return true;
  for (std::string& url : options.urls) {
    const StartAddress start = StartAddress::Check(StringUtility::FromUtf8(url));
    if (!start.ok()) {
      console.Error(start.refusal() + " (an address such as " + StartAddress::kExample + ")");
      return false;
    }
    url = StringUtility::ToUtf8(start.address());
  }
  return true;
}

int VerifyCopy(const std::string& folder, const std::string& archiveBase, Console& console) {
  const std::u16string siteFolder = StringUtility::FromUtf8(CleanFolder(folder));
  const CopyVerifier::Report report = CopyVerifier::Verify(siteFolder);
  for (const auto& dead : report.dead) {
    console.Print("dead: " + dead.document + ": " + dead.reference);
  }
  console.Print(report.Summary());
  // The archive beside the copy, when there is one.
  const ArchiveVerifier::Report archive = ArchiveVerifier::Verify(siteFolder, archiveBase);
  for (const std::string& problem : archive.problems) console.Print("archive: " + problem);
  for (const std::string& address : archive.unrecorded) {
    console.Print("archive: no response record for " + address);
  }
  if (archive.found) console.Print(archive.Summary());
  return report.dead.empty() && archive.ok() ? kExitFinished : kExitFailures;
}

// Opens the address in the desktop's browser, without waiting for it.
void OpenInBrowser(const std::string& url) {
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  pid_t child = 0;
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  // The browser takes Ctrl-C as its own again.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  if (posix_spawnp(&child, "xdg-open", &quiet, &attributes, const_cast<char**>(argv), environ) ==
      0) {
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&quiet);
}

int ServeCopy(const CliOptions& options, const std::string& archiveBase, Console& console) {
  const std::string folder = CleanFolder(*options.serveFolder);
  CopyViewer viewer(StringUtility::FromUtf8(folder), archiveBase);
  if (viewer.Start(options.port) == 0) {
    console.Error(viewer.error());
    return kExitUsage;
  }
  console.Print("Serving " + folder + " at " + viewer.Url());
  if (viewer.ArchivedAnswers() > 0) {
    console.Print("Answering " +
                  StringUtility::WithThousands(static_cast<long long>(viewer.ArchivedAnswers())) +
                  " addresses as the site did, from its web archive");
  }
  if (options.openBrowser) OpenInBrowser(viewer.Url());
  Interrupts::Wait();
  viewer.Stop();
  return kExitFinished;
}

int RunCommand(CliOptions options) {
  const bool live = !options.quiet && isatty(fileno(stdout)) != 0;
  Console console(stdout, stderr, live);
  if (options.verifyFolder || options.serveFolder) {
    // The archive is looked for under the name given, or beside the copy.
    DownloadOptions named;
    for (const auto& [key, value] : options.settings) {
      if (key == "warc-file") KestrineConf::ApplySetting(key, value, named);
    }
    if (options.serveFolder) return ServeCopy(options, named.warcFile, console);
    return VerifyCopy(*options.verifyFolder, named.warcFile, console);
  }
  if (!AddressesAreWeb(options, console)) return kExitUsage;
  if (!HttpClient::GlobalInit()) {
    console.Error("the network library could not be started");
    return kExitFailures;
  }
  if (!ApplySettings(options, console)) return kExitUsage;
  std::optional<DownloadOptions> download = DownloadOptionsFor(options, console);
  if (!download) return kExitUsage;
  std::unique_ptr<ChromiumRenderer> renderer = RendererFor(*download, console);
  if (download->render == RenderMode::Always && !renderer) return kExitUsage;
  const Verbosity verbosity = options.quiet ? Verbosity::SummaryOnly
                              : live        ? Verbosity::LiveLine
                                            : Verbosity::LinePerDownload;
  TerminalStatusMonitor monitor;
  TerminalQueueList list(verbosity, console);
  TerminalRunState runState(console);
  Project project(monitor, list, runState, runState);
  project.SetOptions(*download);
  project.SetRenderer(renderer.get());
  monitor.AttachProject(&project);

  Interrupts::Watch([&monitor] { monitor.RequestCancel(); });
  const auto start = std::chrono::steady_clock::now();
  if (const auto& existing =
          options.continueFolder ? options.continueFolder : options.updateFolder) {
    if (!project.ContinueCopy(StringUtility::FromUtf8(CleanFolder(*existing)),
                              options.updateFolder.has_value())) {
      console.Error(CleanFolder(*existing) + " holds no project journal to continue");
      return kExitUsage;
    }
  } else {
    monitor.StartDownload(StringUtility::FromUtf8(options.urls.front()));
    for (std::size_t i = 1; i < options.urls.size(); ++i) {
      project.AddAddress(StringUtility::FromUtf8(options.urls[i]));
    }
    monitor.ShowQueue(options.mode);
  }
  ProgressLine line(project, monitor, console);
  WatchRun(project, monitor, live ? &line : nullptr, console);
  // Another run holds the copy: said already, and nothing was written.
  if (project.LastOutcome() == RunOutcome::Refused) return kExitUsage;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return Summarize(project, monitor, list, seconds, console);
}

}  // namespace
}  // namespace kestrine

int main(int argc, char** argv) {
  // Before any thread starts, so none of them takes the signals itself.
  kestrine::Interrupts::Block();
  kestrine::AllocatorTuning::Apply();
  const kestrine::ParsedCommandLine parsed = kestrine::ParseCommandLine(argc, argv);
  if (!parsed.options) return parsed.exitStatus;
  return kestrine::RunCommand(*parsed.options);
}
