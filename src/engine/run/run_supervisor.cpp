#include "engine/run/run_supervisor.h"

#include <deque>
#include <memory>
#include <vector>

#include "config/setting_util.h"
#include "engine/download/download_task.h"
#include "engine/surface/i_status_monitor.h"
#include "engine/surface/monitor_mutex.h"
#include "engine/project.h"
#include "presentation/run_progress.h"
#include "engine/surface/run_state.h"
#include "presentation/string_table.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

using Workers = std::vector<std::unique_ptr<DownloadTaskRunnable>>;

// Watches the workers until none runs, nothing they could take is pending
// and the site's rules are loaded (their sitemaps may add addresses). A
// worker ends by itself when nothing is pending, so this is what brings
// finished workers back while addresses keep coming. A finished worker
// waits in `idle` at most once and is handed over again only from there.
void Supervise(Project& project, const Workers& workers, const std::atomic<bool>& rulesLoading) {
  std::deque<std::size_t> idle;
  std::vector<bool> inIdle(workers.size(), false);
  while (true) {
    IRunnable* running = nullptr;
    for (std::size_t i = 0; i < workers.size(); ++i) {
      if (!project.pool().Join(workers[i].get(), 0)) {
        running = workers[i].get();
      } else if (!inIdle[i]) {
        idle.push_back(i);
        inIdle[i] = true;
      }
    }
    std::size_t pending = 0;
    if (project.MayTakeMore()) {
      const MonitorMutex mutex(project.monitor());
      const std::lock_guard lock(mutex);
      pending = project.queue().PendingCount();
    }
    for (; pending > 0 && !idle.empty(); --pending) {
      const std::size_t next = idle.front();
      idle.pop_front();
      inIdle[next] = false;
      project.pool().Execute(workers[next].get());
      running = workers[next].get();
    }
    if (running == nullptr && !rulesLoading.load()) return;
    // Back as soon as that worker ends, the last one included.
    if (running != nullptr) {
      project.pool().Join(running, Project::kJoinMilliseconds);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

}  // namespace

void RunSupervisor::Start() {
  std::lock_guard lock(threadMutex_);
  if (thread_.joinable()) thread_.join();
  // The run's threads read the time-out from the project, never from the
  // settings, which the settings dialog may change while they run.
  project_.TakeTimeOut(SettingUtil::GetInstance().record().timeOut);
  active_ = true;
  thread_ = std::thread([this] {
    Run();
    active_ = false;
  });
}

void RunSupervisor::Wait() {
  std::lock_guard lock(threadMutex_);
  if (thread_.joinable()) thread_.join();
}

void RunSupervisor::Run() {
  IStatusMonitor& monitor = project_.monitor();
  // 1. Nothing to do: say so and hand the Download view back.
  if (!project_.queue().HasPending()) {
    lastOutcome_ = RunOutcome::Finished;
    monitor.SetStatusText(StringTable::Load(kIdsRunFinished));
    monitor.OnRunEnded();
    project_.runState().SetButtonPhase(ButtonPhase::Ended);
    monitor.EnableDownloadView();
    return;
  }
  started_ = std::chrono::steady_clock::now();
  project_.OpenSiteFolder(project_.siteFolder(), false);
  // The site's robots.txt and sitemaps, once per project, beside the start
  // page; with a wait between requests, before it.
  std::atomic<bool> rulesLoading = true;
  std::thread siteRules = std::thread([this, &rulesLoading] {
    project_.LoadSiteRules();
    rulesLoading = false;
  });
  if (project_.options().waitSeconds > 0) siteRules.join();
  // 2. Make the workers and hand them all to the pool, which runs as many
  //    at once as its core size.
  Workers workers;
  for (int i = 0; i < Project::kWorkerCount; ++i) {
    auto worker = std::make_unique<DownloadTaskRunnable>();
    worker->SetProject(&project_);
    project_.pool().Execute(worker.get());
    workers.push_back(std::move(worker));
  }
  // 3. Supervise until no worker runs.
  Supervise(project_, workers, rulesLoading);
  if (siteRules.joinable()) siteRules.join();
  // 4. to 6. Report the outcome.
  Finish();
  // 7. The workers go with this scope; every one of them has finished.
}

void RunSupervisor::Finish() {
  IStatusMonitor& monitor = project_.monitor();
  IRunState& runState = project_.runState();
  const bool canceled = monitor.IsCancelRequested() != 0;
  const bool paused = !canceled && monitor.IsPauseRequested() != 0;
  lastOutcome_ = canceled ? RunOutcome::Canceled
                 : paused ? RunOutcome::Paused
                          : RunOutcome::Finished;
  const std::u16string status = StringTable::Load(canceled ? kIdsCanceled
                                                  : paused ? kIdsPaused
                                                           : kIdsRunFinished);
  // A paused copy is a copy too: the window offers it again after a restart.
  project_.NoteCopy();
  monitor.SetStatusText(status);
  monitor.OnRunEnded();
  runState.SetButtonPhase(paused ? ButtonPhase::Paused : ButtonPhase::Ended);
  if (!paused) monitor.EnableDownloadView();
  project_.EndRun(canceled ? u"Canceled" : paused ? u"Paused" : u"End", paused);
  // The notice says how it went, and warns when nothing could be fetched.
  if (!canceled) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const TransferTotals& totals = project_.totals();
    const bool allFailed = totals.succeeded == 0 && totals.failed > 0;
    runState.ShowEndNotice(status + u"\n" + StringUtility::FromUtf8(EndSummary(project_, seconds)),
                           allFailed ? MessageIcon::Warning : MessageIcon::Information);
  }
  project_.opener().OpenFolder(project_.downloadFolder());
}

}  // namespace kestrine
