#include "surfaces/notice_run_state.h"

#include "presentation/run_progress.h"
#include "presentation/string_table.h"
#include "runtime/string_utility.h"

namespace kestrine {

void NoticeRunState::ShowEndNotice(const RunSummary& summary) {
  const std::u16string status =
      StringTable::Load(summary.outcome == RunOutcome::Paused ? kIdsPaused : kIdsRunFinished);
  ShowMessageBox(status + u"\n" + StringUtility::FromUtf8(EndSummary(summary)),
                 StringTable::Load(kIdsNotice),
                 summary.AllFailed() ? MessageIcon::Warning : MessageIcon::Information);
}

void NoticeRunState::ShowRunRefused(const std::string& why) {
  ShowMessageBox(StringUtility::FromUtf8(why), u"Kestrine", MessageIcon::Warning);
}

}  // namespace kestrine
