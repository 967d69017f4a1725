#pragma once

#include <string>

#include "cli/console.h"
#include "engine/surface/run_state.h"

namespace kestrine {

// The run-state surface of a terminal: a refused run goes to the error
// stream; the end of a run is the summary's business; the folder a run
// opens is only remembered.
class TerminalRunState : public IRunState, public IFolderOpener {
 public:
  explicit TerminalRunState(Console& console) : console_(console) {}

  void SetButtonPhase(ButtonPhase) override {}
  void ShowEndNotice(const RunSummary&) override {}
  void ShowRunRefused(const std::string& why) override;
  void OpenFolder(std::u16string) override {}

 private:
  Console& console_;
};

}  // namespace kestrine
