#pragma once

#include "engine/download/stages/download_stage.h"

namespace kestrine {

class DocumentScope;
class FoundNames;
class ReferenceWriter;

// Reads what an answer names. A script, JSON file or search index of the
// site gives the files its scripts load (see NamedFiles), which are queued;
// the file itself stays as received; what its strings only look like the
// site's paths is queued as guesses. A page, style sheet or SVG image is
// decoded, its references queued and rewritten to the copy's local files,
// and encoded again under its own charset for StoreStage to write. A page
// redirected away from the site, one too large to rewrite, and every other
// type stay as received. A stop cuts a scan short; the page is scanned
// whole on Continue.
class ScanStage : public DownloadStage {
 public:
  // Pages and style sheets larger than this are stored as received.
  static constexpr std::int64_t kMaxRewrittenBytes = 32ll * 1024 * 1024;

  using DownloadStage::DownloadStage;
  StageResult Run(DownloadState& download) override;

 private:
  void TakeNamedFiles(DownloadState& download);
  void TakeGuesses(const FoundNames& guesses, ReferenceWriter& besideScript, DocumentScope& scope);
  void ScanDocument(DownloadState& download);
  bool Stopped() const;
};

}  // namespace kestrine
