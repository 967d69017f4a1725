#include "engine/download/stages/render_stage.h"

#include "encoding/charset_sniffer.h"
#include "engine/download/document_scope.h"
#include "engine/queue/address_queue.h"
#include "engine/run/run_tally.h"
#include "engine/surface/i_status_monitor.h"
#include "engine/surface/page_renderer.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/string_utility.h"
#include "site/html/page_text.h"
#include "site/rewrite/reference_writer.h"

namespace kestrine {

bool RenderStage::LooksLikeAppShell(std::u16string_view html) {
  if (StringUtility::Find(html, u"<script") == std::u16string_view::npos) return false;
  // Read a little beyond the bound: the text comes back trimmed.
  return PageText::Of(html, 2 * kShellText).text.size() < kShellText;
}

bool RenderStage::Wanted(DownloadState& download) const {
  if (context_.renderer == nullptr || download.kind != ContentKind::Page) return false;
  const RenderMode mode = context_.settings.options.render;
  if (mode == RenderMode::Never || context_.queue.mode() == DownloadMode::RetrieveFiles) {
    return false;
  }
  const HttpClient& client = download.client;
  if (client.GetReturnCode() != 200) return false;
  // Pages of the site only, as they are the ones scanned.
  const std::u16string location = client.GetLocationURL();
  if (!IsUnderSitePrefix(location, context_.queue.sitePrefix())) return false;
  if (mode == RenderMode::Always) return true;
  return LooksLikeAppShell(download.DecodedPage().text);
}

StageResult RenderStage::Run(DownloadState& download) {
  if (!Wanted(download)) return StageResult::Continue;
  const std::u16string location = download.client.GetLocationURL();
  IPageRenderer::Page page = context_.renderer->Render(StringUtility::ToUtf8(location));
  if (!page.failure.empty()) {
    context_.report.Log(location + u" not rendered: " + StringUtility::FromUtf8(page.failure));
    return StageResult::Continue;
  }
  download.rendered = std::move(page.html);
  download.wasRendered = true;
  ++context_.tally.rendered;
  // What the page loaded is what it needs, as its own files are.
  DocumentScope scope(context_.host, download.entry, DocumentRole::Requisite, [this] {
    return context_.monitor.IsCancelRequested() || context_.monitor.IsPauseRequested();
  });
  const std::u16string& siteFolder = context_.files.path();
  ReferenceWriter writer(scope, location, siteFolder, siteFolder);
  for (const std::string& requested : page.requested) {
    if (!context_.host.MayQueueMore()) break;
    writer.TakeNamed(StringUtility::FromUtf8(requested));
  }
  return StageResult::Continue;
}

}  // namespace kestrine
