#pragma once

#include <string>

#include "cli/console.h"
#include "engine/surface/run_state.h"

namespace kestrine {

// Message boxes of a run go to the error stream (the end-of-run notice is
// the summary's business); the folder a run opens is only remembered.
class TerminalRunState : public IRunState, public IFolderOpener {
 public:
  explicit TerminalRunState(Console& console) : console_(console) {}

  void SetButtonPhase(ButtonPhase) override {}
  void ShowMessageBox(std::u16string text, std::u16string caption, MessageIcon icon) override;
  // The terminal prints its own summary.
  void ShowEndNotice(std::u16string, MessageIcon) override {}
  void OpenFolder(std::u16string) override {}

 private:
  Console& console_;
};

}  // namespace kestrine
