// The run of a project: workers on the pool, their supervision, and the end
// of the run. Part of Project.
#include <deque>
#include <memory>
#include <vector>

#include "config/setting_util.h"
#include "engine/download_task.h"
#include "engine/i_status_monitor.h"
#include "engine/project.h"
#include "engine/run_state.h"
#include "engine/string_table.h"

namespace kestrine {

namespace {

using Workers = std::vector<std::unique_ptr<DownloadTaskRunnable>>;

// Watches the workers until none ran through a whole pass. A worker ends by
// itself when nothing is pending, so this is what brings finished workers
// back while running downloads keep adding addresses. A finished worker
// waits in `idle` at most once and is handed over again only from there.
void Supervise(Project& project, const Workers& workers) {
  std::deque<std::size_t> idle;
  std::vector<bool> inIdle(workers.size(), false);
  bool busy = true;
  while (busy) {
    busy = false;
    for (std::size_t i = 0; i < workers.size(); ++i) {
      if (project.pool().Join(workers[i].get(), Project::kJoinMilliseconds)) {
        if (!inIdle[i]) {
          idle.push_back(i);
          inIdle[i] = true;
        }
        continue;
      }
      busy = true;
      if (project.monitor().IsPauseRequested() != 0) continue;
      project.monitor().Lock();
      const std::size_t pending = project.queue().PendingCount();
      project.monitor().Unlock();
      if (!idle.empty() && pending > 0) {
        const std::size_t next = idle.front();
        idle.pop_front();
        inIdle[next] = false;
        project.pool().Execute(workers[next].get());
      }
    }
  }
}

}  // namespace

void Project::RunProject(const std::u16string& downloadFolder) {
  // 1. Nothing to do: say so and hand the Download view back.
  if (!queue_.HasPending()) {
    monitor_.SetStatusText(StringTable::Load(kIdsRunFinished));
    monitor_.OnRunEnded();
    runState_.SetButtonPhase(ButtonPhase::Ended);
    monitor_.EnableDownloadView();
    return;
  }
  // 2. Make the workers and hand them all to the pool, which runs as many
  //    at once as its core size.
  Workers workers;
  for (int i = 0; i < kWorkerCount; ++i) {
    auto worker = std::make_unique<DownloadTaskRunnable>();
    worker->SetProject(this);
    worker->SetDownloadFolder(downloadFolder);
    pool_.Execute(worker.get());
    workers.push_back(std::move(worker));
  }
  // 3. Supervise until no worker runs.
  Supervise(*this, workers);
  // 4. to 6. Report the outcome.
  FinishRun(downloadFolder);
  // 7. The workers go with this scope; every one of them has finished.
}

void Project::FinishRun(const std::u16string& downloadFolder) {
  const std::u16string logFolder = SettingUtil::GetInstance().GetDownloadFolder();
  const bool canceled = monitor_.IsCancelRequested() != 0;
  const bool paused = !canceled && monitor_.IsPauseRequested() != 0;
  const std::u16string status = StringTable::Load(canceled ? kIdsCanceled
                                                  : paused ? kIdsPaused
                                                           : kIdsRunFinished);
  monitor_.SetStatusText(status);
  monitor_.OnRunEnded();
  runState_.SetButtonPhase(paused ? ButtonPhase::Paused : ButtonPhase::Ended);
  if (!paused) monitor_.EnableDownloadView();
  WriteDownloadLog(logFolder, canceled ? u"Canceled" : paused ? u"Paused" : u"End", 1);
  if (!paused) queue_.ClearProject();
  if (!canceled)
    runState_.ShowMessageBox(status, StringTable::Load(kIdsNotice), MessageIcon::Information);
  opener_.OpenFolder(downloadFolder);
}

}  // namespace kestrine
