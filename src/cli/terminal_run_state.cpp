#include "cli/terminal_run_state.h"

#include "runtime/string_utility.h"

namespace kestrine {

void TerminalRunState::ShowMessageBox(std::u16string text, std::u16string, MessageIcon icon) {
  if (icon != MessageIcon::Information) console_.Error(StringUtility::ToUtf8(text));
}

}  // namespace kestrine
