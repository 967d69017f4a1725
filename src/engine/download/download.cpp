#include "engine/download/download.h"

#include <exception>

#include "engine/download/stages/archive_stage.h"
#include "engine/download/stages/download_endings.h"
#include "engine/download/stages/fetch_stage.h"
#include "engine/download/stages/place_stage.h"
#include "engine/download/stages/record_stage.h"
#include "engine/download/stages/render_stage.h"
#include "engine/download/stages/scan_stage.h"
#include "engine/download/stages/store_stage.h"
#include "engine/surface/i_status_monitor.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/string_utility.h"

namespace kestrine {

DownloadPipeline::DownloadPipeline(DownloadContext& context) : context_(context) {
  stages_.push_back(std::make_unique<FetchStage>(context));
  stages_.push_back(std::make_unique<ArchiveStage>(context));
  stages_.push_back(std::make_unique<PlaceStage>(context));
  stages_.push_back(std::make_unique<RenderStage>(context));
  stages_.push_back(std::make_unique<ScanStage>(context));
  stages_.push_back(std::make_unique<StoreStage>(context));
  stages_.push_back(std::make_unique<RecordStage>(context));
}

DownloadOutcome DownloadPipeline::RunStages(DownloadState& download) {
  bool ended = false;
  for (const auto& stage : stages_) {
    if (ended && !stage->RunsAfterEnd()) continue;
    if (stage->Run(download) == StageResult::End) ended = true;
  }
  return download.outcome;
}

DownloadOutcome DownloadPipeline::Download(QueueEntry& entry) {
  // A cancel before the start leaves no trace; a pause keeps the entry.
  if (context_.monitor.IsCancelRequested()) return DownloadOutcome::NotStarted;
  if (context_.monitor.IsPauseRequested()) return DownloadOutcome::Interrupted;
  entry.state = EntryState::Taken;
  DownloadState download(entry);
  download.target = FetchStage::TargetOf(entry, context_.files.path());
  std::u16string reason;
  try {
    return RunStages(download);
  } catch (const std::exception& error) {
    reason = u"internal error: " + StringUtility::FromUtf8(error.what());
  } catch (...) {
    reason = u"internal error";
  }
  // Said on the row and counted, never passed over.
  DownloadEndings(context_).Fail(download, reason, {HttpClient::Failure::Other, 0});
  return DownloadOutcome::Failed;
}

}  // namespace kestrine
