#include "engine/surface/run_state.h"

#include "presentation/string_table.h"

namespace kestrine {

void IRunState::ShowEndNotice(std::u16string text, MessageIcon icon) {
  ShowMessageBox(std::move(text), StringTable::Load(kIdsNotice), icon);
}

}  // namespace kestrine
