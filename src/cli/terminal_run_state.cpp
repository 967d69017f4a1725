#include "cli/terminal_run_state.h"

#include "engine/string_table.h"
#include "runtime/string_utility.h"

namespace kestrine {

void TerminalRunState::ShowMessageBox(std::u16string text, std::u16string caption,
                                      MessageIcon icon) {
  // The end notice is the window's summary; the terminal prints its own.
  if (caption == StringTable::Load(kIdsNotice)) return;
  if (icon != MessageIcon::Information) console_.Error(StringUtility::ToUtf8(text));
}

}  // namespace kestrine
