#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace kestrine {

class Project;

// How the last run ended.
// How the last run ended; Refused when it could not begin (another run
// holds the copy).
enum class RunOutcome { Finished, Paused, Canceled, Refused };

// The run of a project on a thread of its own: the workers handed to the
// pool and watched until the work is done, paused or cancelled, then the
// end said on every surface. The project holds the state the run works on.
class RunSupervisor {
 public:
  explicit RunSupervisor(Project& project) : project_(project) {}
  ~RunSupervisor() { Wait(); }
  RunSupervisor(const RunSupervisor&) = delete;
  RunSupervisor& operator=(const RunSupervisor&) = delete;

  // Starts the run thread, once the one before (if any) has ended.
  void Start();
  // Waits until the run thread (if any) has ended.
  void Wait();
  // True from the start of a run thread until it has taken its last step.
  bool IsActive() const { return active_.load(); }
  RunOutcome LastOutcome() const { return lastOutcome_.load(); }
  void NoteRefused() { lastOutcome_ = RunOutcome::Refused; }

 private:
  void Run();
  void Finish();

  Project& project_;
  std::mutex threadMutex_;
  std::thread thread_;
  std::atomic<bool> active_{false};
  std::atomic<RunOutcome> lastOutcome_{RunOutcome::Finished};
  std::chrono::steady_clock::time_point started_;
};

}  // namespace kestrine
