#include "engine/download/stages/archive_stage.h"

#include "encoding/charset_sniffer.h"
#include "engine/archive/run_archive.h"
#include "site/html/page_text.h"

namespace kestrine {

StageResult ArchiveStage::Run(DownloadState& download) {
  RunArchive* archive = context_.archive;
  if (archive == nullptr) return StageResult::Continue;
  std::vector<CapturedExchange> exchanges = download.client.TakeExchanges();
  // The page as it was last answered, for the page list.
  std::string url;
  std::string date;
  for (const CapturedExchange& exchange : exchanges) {
    if (exchange.complete && exchange.status == 200) {
      url = exchange.targetUri;
      date = exchange.date;
    }
  }
  archive->Record(exchanges);
  if (archive->KeepsPages() && !url.empty() && download.kind == ContentKind::Page &&
      download.outcome == DownloadOutcome::NotStarted) {
    AddPage(download, url, date);
  }
  return StageResult::Continue;
}

void ArchiveStage::AddPage(DownloadState& download, const std::string& url,
                           const std::string& date) {
  const PageText page = PageText::Of(download.DecodedPage().text);
  context_.archive->AddPage(url, date, page.title, page.text);
}

}  // namespace kestrine
