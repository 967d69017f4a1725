#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "engine/memory_queue_list.h"
#include "engine/plain_run_state.h"
#include "engine/plain_status_monitor.h"

namespace kestrine {

class Project;

// How much the terminal is told while a run goes on.
enum class Verbosity { LiveLine, LinePerDownload, SummaryOnly };

// The status monitor of the headless front end: remembers the status text
// for the live line and notes when a run has ended.
class TerminalStatusMonitor : public PlainStatusMonitor {
 public:
  void OnRunEnded() override { runEnded_ = true; }
  bool RunEnded() const { return runEnded_.load(); }

 private:
  std::atomic<bool> runEnded_{false};
};

// The queue list of the headless front end: prints one line per ended
// download when asked to.
class TerminalQueueList : public MemoryQueueList {
 public:
  TerminalQueueList(Verbosity verbosity, std::FILE* out);

 protected:
  void OnRowChanged(int row, const Row& cells) override;

 private:
  const Verbosity verbosity_;
  std::FILE* out_;
  // The end states' texts, looked up once: every cell change passes here.
  const std::u16string finished_;
  const std::u16string failure_;
  std::mutex printedMutex_;
  std::set<std::u16string> printed_;
};

// Message boxes go to the error stream; the folder a run opens is kept for
// the summary.
class TerminalRunState : public PlainRunState {
 public:
  explicit TerminalRunState(std::FILE* err) : err_(err) {}
  void ShowMessageBox(std::u16string text, std::u16string caption, MessageIcon icon) override;

 private:
  std::FILE* err_;
};

// Draws the live progress line on a terminal.
class ProgressLine {
 public:
  ProgressLine(Project& project, TerminalStatusMonitor& monitor, std::FILE* out);
  void Draw();
  void Clear();

 private:
  Project& project_;
  TerminalStatusMonitor& monitor_;
  std::FILE* out_;
  const std::chrono::steady_clock::time_point start_;
};

std::string HumanBytes(long long bytes);

}  // namespace kestrine
