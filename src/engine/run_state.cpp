#include "engine/run_state.h"

#include "engine/string_table.h"

namespace kestrine {

void IRunState::ShowEndNotice(std::u16string text, MessageIcon icon) {
  ShowMessageBox(std::move(text), StringTable::Load(kIdsNotice), icon);
}

}  // namespace kestrine
