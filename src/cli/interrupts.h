#pragma once

#include <functional>

namespace kestrine {

// Ctrl-C and SIGTERM, taken on a thread of their own (sigwait) rather than
// in a handler, so whatever waits on them is told at once: the first asks
// the run to stop, a second ends the process there and then.
class Interrupts {
 public:
  // Blocks both signals in this thread and every thread it starts later;
  // called first thing.
  static void Block();
  // Calls `first` on the first signal, on the watching thread.
  static void Watch(std::function<void()> first);
  // Waits on this thread for the first signal.
  static void Wait();
  // The signal mask a child process should start with: none blocked.
  static void Unblock();
};

}  // namespace kestrine
