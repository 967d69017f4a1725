#pragma once

namespace kestrine {

// A unit of work that a ThreadPool runs.
class IRunnable {
 public:
  virtual ~IRunnable() = default;
  virtual void Run() = 0;
  // A task that answers true is deleted by the pool after it has run; the
  // pool never deletes one that answers false.
  virtual bool IsAutoDelete() const = 0;
};

}  // namespace kestrine
