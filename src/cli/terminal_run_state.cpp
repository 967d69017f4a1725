#include "cli/terminal_run_state.h"

namespace kestrine {

void TerminalRunState::ShowRunRefused(const std::string& why) { console_.Error(why); }

}  // namespace kestrine
