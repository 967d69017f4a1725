#pragma once

#include <memory>
#include <vector>

#include "engine/download/download_context.h"
#include "engine/download/download_state.h"
#include "engine/download/stages/download_stage.h"

namespace kestrine {

// The steps every download of a run goes through, in order: fetch (into a
// partial file, with retries), place (the local file the answer calls
// for), scan (what it names; pages and style sheets rewritten), store (in
// place, in one step) and record (journal, counts, row). Each step is a
// stage with its own unit; a new one is added here.
class DownloadPipeline {
 public:
  explicit DownloadPipeline(DownloadContext& context);

  // Downloads one taken entry. Whatever goes wrong inside ends that
  // download as a failure row, never the worker or the process.
  DownloadOutcome Download(QueueEntry& entry);

 private:
  DownloadOutcome RunStages(DownloadState& download);

  DownloadContext& context_;
  std::vector<std::unique_ptr<DownloadStage>> stages_;
};

}  // namespace kestrine
