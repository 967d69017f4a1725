#pragma once

#include <string>

#include "engine/surface/run_state.h"

namespace kestrine {

enum class MessageIcon { Information, Warning, Error };

// A run-state surface that tells the user in message boxes: the end of a
// run under the notice caption ("Finished" and how it went, a warning when
// nothing could be fetched), a refused run as a warning.
class NoticeRunState : public IRunState {
 public:
  // Shows the box and returns once the user has dismissed it.
  virtual void ShowMessageBox(std::u16string text, std::u16string caption, MessageIcon icon) = 0;

  void ShowEndNotice(const RunSummary& summary) override;
  void ShowRunRefused(const std::string& why) override;

 protected:
  ~NoticeRunState() = default;
};

}  // namespace kestrine
