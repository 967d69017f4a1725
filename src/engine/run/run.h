#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/archive/run_archive.h"
#include "engine/download/download.h"
#include "engine/download/download_context.h"
#include "engine/run/run_settings.h"
#include "engine/run/scheduler.h"
#include "runtime/net/transfer_engine.h"

namespace kestrine {

// The project a run belongs to, as the run sees it: what the run's thread
// does before its workers start and after they end.
class IRunOwner {
 public:
  // What the site says of itself, once per project; the run's workers go
  // meanwhile, held open until it is done.
  virtual void LoadSiteRules(const RunSettings& settings, TransferEngine& transfers,
                             RunArchive* archive) = 0;
  // The run's work is done, paused or cancelled (and its archive, if any,
  // written whole): its end is said.
  virtual void EndRun(std::chrono::steady_clock::duration took,
                      std::optional<RunArchive::Outcome> archive) = 0;
  // The run's thread has taken its last step: the run is no longer active.
  virtual void RunStopped() = 0;

 protected:
  ~IRunOwner() = default;
};

// What a run works with that lives as long as its project: its queue and
// copy, its reports and counts, the user's requests, and the project
// itself, which its downloads ask to queue what they find.
struct ProjectServices {
  AddressQueue& queue;
  const ConfinedFolder& files;
  ProjectJournal& journal;
  DownloadReport& report;
  RunTally& tally;
  IStatusMonitor& monitor;
  IDownloadHost& host;
  bool updating = false;
  // The browser pages are rendered in, when the front end gave one.
  IPageRenderer* renderer = nullptr;
};

// One run of a project, from its start (or continuation) to its end or
// pause, on a thread of its own that owns what the run works with: the
// settings as they were when it started, the transfer engine, the workers
// and their downloads. A cancel or a pause (Stop) reaches every part of it
// at once: no worker takes another entry, every transfer ends, every wait
// ends.
class Run {
 public:
  Run(IRunOwner& owner, RunSettings settings, const ProjectServices& services,
      std::unique_ptr<RunArchive> archive = nullptr);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Starts the run's thread.
  void Start(bool withSiteRules);
  // Returns once the run's thread has taken its last step.
  void Wait();
  bool IsActive() const { return active_.load(); }

  // A cancel or a pause.
  void Stop();
  // A limit was reached: no worker takes another entry; the transfers
  // under way end as they do.
  void LimitReached();
  // Addresses were queued: a worker takes them.
  void EntriesAdded();
  // Connections to a host (the worker count), and whether the host has
  // shown that it multiplexes: together, the downloads at once.
  void SetConcurrency(int connections, bool multiplexed);
  int ActiveDownloads() const;
  int TransfersAtOnce() const;

  const RunSettings& settings() const { return settings_; }

 private:
  void Body(bool withSiteRules);

  IRunOwner& owner_;
  const RunSettings settings_;
  TransferEngine transfers_;
  std::unique_ptr<RunArchive> archive_;
  DownloadContext context_;
  DownloadPipeline pipeline_;
  Scheduler scheduler_;
  std::thread thread_;
  std::atomic<bool> active_{false};
  std::atomic<bool> first_{true};
};

}  // namespace kestrine
