#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "config/setting_util.h"
#include "engine/project.h"
#include "engine/surface/queue_list.h"
#include "support/config_home.h"
#include "surfaces/memory_queue_list.h"
#include "surfaces/plain_run_state.h"
#include "surfaces/plain_status_monitor.h"

namespace kestrine::testing {

// The engine without windows, wired as a front end wires it, downloading
// into a temporary folder.
struct EngineHarness {
  explicit EngineHarness(int workers = 5) {
    SettingUtil::GetInstance().SetDownloadFolder(home.folder().Wide("out"));
    SettingUtil::GetInstance().record().threadNumber = workers;
    CreateOutput();
    project = std::make_unique<Project>(monitor, list, runState, runState);
    monitor.AttachProject(project.get());
  }
  ~EngineHarness() {
    monitor.RequestCancel();
    project->WaitForRun();
  }

  void CreateOutput() { std::filesystem::create_directories(home.folder().path() / "out"); }
  std::filesystem::path Out() const { return home.folder().path() / "out"; }

  void Start(const std::u16string& address, DownloadMode mode) {
    monitor.StartDownload(address);
    monitor.ShowQueue(mode);
  }
  void Wait() { project->WaitForRun(); }

  ConfigHome home;
  PlainStatusMonitor monitor;
  MemoryQueueList list;
  PlainRunState runState;
  std::unique_ptr<Project> project;
};

// Polls `condition` for up to ten seconds; whether it came true.
inline bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 500 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

}  // namespace kestrine::testing
