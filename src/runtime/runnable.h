#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace kestrine {

// Information about a task, as a monitor hands it out.
struct DefaultInfo {
  DefaultInfo(std::string taskId, std::int64_t done, std::int64_t total, bool finished,
              int errorCode, bool canceled)
      : taskId(std::move(taskId)),
        done(done),
        total(total),
        finished(finished),
        errorCode(errorCode),
        canceled(canceled) {}
  std::string taskId;
  std::int64_t done;
  std::int64_t total;
  bool finished;
  int errorCode;
  bool canceled;
};

// A unit of work that a ThreadPool runs.
class IRunnable {
 public:
  virtual ~IRunnable() = default;
  virtual void Run() = 0;
  // A task that answers true is deleted by the pool after it has run; the
  // pool never deletes one that answers false.
  virtual bool IsAutoDelete() const = 0;
};

// A task that can be observed and steered while it runs.
class IMonitor : public IRunnable {
 public:
  virtual void Cancel() = 0;
  virtual bool IsCanceled() const = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  virtual bool IsPaused() const = 0;
  virtual std::string GetTaskId() const = 0;
  virtual bool TryPause() = 0;
  virtual std::chrono::system_clock::time_point GetCreateTime() const = 0;
  virtual std::string GetRunableName() const = 0;
  // A new object, owned by the caller.
  virtual DefaultInfo* CreateInfo() const = 0;
  virtual int Priority() const = 0;
  virtual void SetPriority(int priority) = 0;
};

// The plain implementation of the monitor operations: flags a task can read.
class RootMonitor : public IMonitor {
 public:
  explicit RootMonitor(std::string taskId);

  bool IsAutoDelete() const override { return false; }
  void Cancel() override { canceled_ = true; }
  bool IsCanceled() const override { return canceled_; }
  void Pause() override { paused_ = true; }
  void Resume() override { paused_ = false; }
  bool IsPaused() const override { return paused_; }
  std::string GetTaskId() const override { return taskId_; }
  bool TryPause() override;
  std::chrono::system_clock::time_point GetCreateTime() const override { return createTime_; }
  std::string GetRunableName() const override { return "RootMonitor"; }
  DefaultInfo* CreateInfo() const override;
  int Priority() const override { return priority_; }
  void SetPriority(int priority) override { priority_ = priority; }

 private:
  const std::string taskId_;
  const std::chrono::system_clock::time_point createTime_;
  std::atomic<bool> canceled_{false};
  std::atomic<bool> paused_{false};
  std::atomic<int> priority_{0};
};

}  // namespace kestrine
