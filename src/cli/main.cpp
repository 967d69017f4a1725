// kestrine-cli: downloads a website for offline browsing, headless.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli/cli_options.h"
#include "cli/terminal_front_end.h"
#include "config/setting_util.h"
#include "engine/project.h"
#include "engine/string_table.h"
#include "runtime/http_client.h"
#include "runtime/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {
namespace {

volatile std::sig_atomic_t interrupts = 0;

// The first Ctrl-C asks the run to cancel; a second ends the process at once.
void OnInterrupt(int) {
  interrupts = interrupts + 1;
  if (interrupts >= 2) _exit(130);
}

std::u16string Wide(const std::string& text) { return StringUtility::FromUtf8(text); }

// Applies the command line over the settings in memory; the settings file
// itself is only read.
bool ApplySettings(const CliOptions& options) {
  SettingUtil& settings = SettingUtil::GetInstance();
  settings.Load();
  if (options.workers) settings.record().threadNumber = *options.workers;
  if (options.timeoutSeconds) settings.record().timeOut = *options.timeoutSeconds;
  if (options.output) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(*options.output, error);
    const std::string folder = error ? *options.output : absolute.lexically_normal().string();
    if (settings.SetDownloadFolder(Wide(folder)) != FolderResult::Stored) {
      std::fprintf(stderr, "kestrine-cli: the output folder name is too long\n");
      return false;
    }
    CreateFolders(Wide(folder));
  }
  return true;
}

void WatchRun(Project& project, TerminalStatusMonitor& monitor, ProgressLine* line) {
  bool cancelAsked = false;
  while (!monitor.RunEnded()) {
    if (interrupts > 0 && !cancelAsked) {
      cancelAsked = true;
      monitor.RequestCancel();
    }
    if (line != nullptr) line->Draw();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  project.WaitForRun();
  if (line != nullptr) line->Clear();
}

int Summarize(Project& project, TerminalStatusMonitor& monitor, double seconds) {
  const TransferTotals& totals = project.totals();
  const std::u16string outcome = monitor.StatusText();
  const std::u16string siteFolder =
      DisplayPath(SiteFolderFor(project.queue().siteHost(), project.downloadFolder()));
  std::printf("%s: %d succeeded, %d failed, %s in %.1f s\nFolder: %s\n",
              StringUtility::ToUtf8(outcome).c_str(), totals.succeeded.load(), totals.failed.load(),
              HumanBytes(totals.bytes).c_str(), seconds, StringUtility::ToUtf8(siteFolder).c_str());
  if (outcome == StringTable::Load(kIdsCanceled)) return kExitCanceled;
  return totals.failed > 0 ? kExitFailures : kExitFinished;
}

bool AddressesAreHttp(const CliOptions& options) {
  for (const std::string& url : options.urls) {
    if (url.rfind("http://", 0) != 0) {
      std::fprintf(stderr, "kestrine-cli: %s: only http:// addresses can be downloaded\n",
                   url.c_str());
      return false;
    }
  }
  return true;
}

int Run(const CliOptions& options) {
  if (!AddressesAreHttp(options)) return kExitUsage;
  if (!HttpClient::GlobalInit()) return kExitFailures;
  if (!ApplySettings(options)) return kExitUsage;
  const bool live = !options.quiet && isatty(fileno(stdout)) != 0;
  const Verbosity verbosity = options.quiet ? Verbosity::SummaryOnly
                              : live        ? Verbosity::LiveLine
                                            : Verbosity::LinePerDownload;
  TerminalStatusMonitor monitor;
  TerminalQueueList list(verbosity, stdout);
  TerminalRunState runState(stderr);
  Project project(monitor, list, runState, runState);
  monitor.AttachProject(&project);

  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  const auto start = std::chrono::steady_clock::now();
  monitor.StartDownload(Wide(options.urls.front()));
  for (std::size_t i = 1; i < options.urls.size(); ++i) {
    project.queue().AddAddress(Wide(options.urls[i]), 0);
  }
  monitor.ShowQueue(options.mode);
  ProgressLine line(project, monitor, stdout);
  WatchRun(project, monitor, live ? &line : nullptr);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return Summarize(project, monitor, seconds);
}

}  // namespace
}  // namespace kestrine

int main(int argc, char** argv) {
  const kestrine::ParsedCommandLine parsed = kestrine::ParseCommandLine(argc, argv);
  if (!parsed.options) return parsed.exitStatus;
  return kestrine::Run(*parsed.options);
}
