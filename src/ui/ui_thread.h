#pragma once

#include <functional>

class QObject;

namespace kestrine {

// Window changes asked for by the engine's threads. Each change runs on the
// window thread, one at a time in the order asked, and is complete before
// Run returns; on the window thread itself it runs at once.
class UiThread {
 public:
  static void Run(QObject* context, const std::function<void()>& change);
  // Waits on the window thread until `done` answers true, delivering window
  // changes meanwhile, so a thread that is waiting for one of them can
  // finish. The window thread never waits any other way for an engine
  // thread. It sleeps until an event comes: whoever makes `done` true calls
  // Wake afterwards.
  static void WaitUntil(const std::function<bool()>& done);
  // Wakes a WaitUntil on the thread of `context` to look again.
  static void Wake(QObject* context);
};

}  // namespace kestrine
