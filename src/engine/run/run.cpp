#include "engine/run/run.h"

#include <algorithm>

#include "engine/queue/address_queue.h"
#include "engine/surface/i_status_monitor.h"
#include "engine/surface/page_renderer.h"

namespace kestrine {

namespace {

// Downloads in flight at most, whatever the connections and streams allow.
constexpr int kMostAtOnce = 256;

}  // namespace

Run::Run(IRunOwner& owner, RunSettings settings, const ProjectServices& services,
         std::unique_ptr<RunArchive> archive)
    : owner_(owner),
      settings_(std::move(settings)),
      archive_(std::move(archive)),
      context_{services.queue,
               services.files,
               services.journal,
               services.report,
               services.tally,
               settings_,
               transfers_,
               services.monitor,
               services.host,
               services.updating,
               archive_.get(),
               settings_.options.render == RenderMode::Never ? nullptr : services.renderer},
      pipeline_(context_),
      scheduler_({[this] { return context_.queue.TakeNextPending(); },
                  [this] { return context_.queue.HasPending(); },
                  [this](QueueEntry& entry) {
                    // The pause the user asked for between two requests.
                    if (settings_.options.waitSeconds > 0 && !first_.exchange(false)) {
                      const auto wait =
                          std::chrono::duration<double>(settings_.options.waitSeconds);
                      context_.monitor.WaitForStopRequest(
                          std::chrono::duration_cast<std::chrono::milliseconds>(wait));
                    }
                    if (pipeline_.Download(entry) == DownloadOutcome::Interrupted) {
                      context_.queue.ReturnToPending(&entry);
                    } else {
                      entry.state = EntryState::Done;
                    }
                  }}) {
  SetConcurrency(settings_.workers, false);
}

Run::~Run() {
  Stop();
  Wait();
}

void Run::Start(bool withSiteRules) {
  active_ = true;
  if (context_.renderer != nullptr) context_.renderer->BeginRun();
  thread_ = std::thread([this, withSiteRules] {
    Body(withSiteRules);
    active_ = false;
    owner_.RunStopped();
  });
}

void Run::Wait() {
  if (thread_.joinable()) thread_.join();
}

void Run::Body(bool withSiteRules) {
  const auto started = std::chrono::steady_clock::now();
  // The site's robots.txt and sitemaps, once per project, beside the start
  // page; with a wait between requests, before it.
  std::thread siteRules;
  if (withSiteRules) {
    scheduler_.Hold();
    if (settings_.options.waitSeconds > 0) {
      owner_.LoadSiteRules(settings_, transfers_, archive_.get());
      scheduler_.Release();
    } else {
      siteRules = std::thread([this] {
        owner_.LoadSiteRules(settings_, transfers_, archive_.get());
        scheduler_.Release();
      });
    }
  }
  scheduler_.Start();
  scheduler_.Wait();
  if (siteRules.joinable()) siteRules.join();
  // The run's browser goes with the run.
  if (context_.renderer != nullptr) context_.renderer->EndRun();
  std::optional<RunArchive::Outcome> archived;
  if (archive_) archived = archive_->Finish();
  owner_.EndRun(std::chrono::steady_clock::now() - started, std::move(archived));
}

void Run::Stop() {
  scheduler_.Stop();
  transfers_.Stop();
  if (context_.renderer != nullptr) context_.renderer->Stop();
}

void Run::LimitReached() { scheduler_.Stop(); }

void Run::EntriesAdded() { scheduler_.EntriesAdded(); }

void Run::SetConcurrency(int connections, bool multiplexed) {
  // With a wait between requests, one at a time on one connection.
  const bool spaced = settings_.options.waitSeconds > 0;
  const int streams = spaced ? 1 : std::max(1, settings_.options.maxStreams);
  const int hostConnections = spaced ? 1 : std::max(1, connections);
  transfers_.SetLimits(hostConnections, streams);
  scheduler_.SetLimit(
      std::min(multiplexed ? hostConnections * streams : hostConnections, kMostAtOnce));
}

int Run::ActiveDownloads() const { return scheduler_.Active(); }

int Run::TransfersAtOnce() const { return scheduler_.limit(); }

}  // namespace kestrine
