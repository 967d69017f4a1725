#include "engine/download/stages/render_stage.h"

#include "encoding/charset_sniffer.h"
#include "engine/download/document_scope.h"
#include "engine/queue/address_queue.h"
#include "engine/run/run_tally.h"
#include "engine/surface/i_status_monitor.h"
#include "engine/surface/page_renderer.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/string_utility.h"
#include "site/html/html_tokenizer.h"
#include "site/html/html_vocabulary.h"
#include "site/html/page_text.h"
#include "site/rewrite/reference_writer.h"

namespace kestrine {

namespace {

// Elements that lay nothing out on the page.
bool LaysNothingOut(std::u16string_view name) {
  for (const std::u16string_view quiet :
       {u"script", u"noscript", u"style", u"link", u"meta", u"title", u"html", u"head", u"body",
        u"base", u"template"}) {
    if (StringUtility::EqualsIgnoreCaseAscii(name, quiet)) return true;
  }
  return false;
}

// How many elements the page lays out, counted up to `bound`.
std::size_t LaidOutElements(std::u16string_view html, std::size_t bound) {
  HtmlTokenizer tokenizer(html);
  HtmlTag tag;
  std::size_t count = 0;
  while (count < bound && tokenizer.Next(tag)) {
    if (tag.endTag) continue;
    const std::u16string_view name = html.substr(tag.name.begin, tag.name.end - tag.name.begin);
    const HtmlVocabulary::Element element = HtmlVocabulary::ElementOf(name);
    if (const auto raw = HtmlVocabulary::RawTextOf(element)) {
      tokenizer.SkipRawText(*raw, HtmlVocabulary::CanonicalName(element));
    } else if (StringUtility::EqualsIgnoreCaseAscii(name, u"noscript")) {
      // The browser runs scripts: what <noscript> holds is never laid out.
      tokenizer.SkipRawText(HtmlTokenizer::RawText::Text, u"noscript");
    }
    if (!LaysNothingOut(name)) ++count;
  }
  return count;
}

}  // namespace

bool RenderStage::LooksLikeAppShell(std::u16string_view html) {
  if (StringUtility::Find(html, u"<script") == std::u16string_view::npos) return false;
  // Read a little beyond the bound: the text comes back trimmed.
  if (PageText::Of(html, 2 * kShellText).text.size() >= kShellText) return false;
  // A page laid out in markup whose text is short (a generated manual's
  // front page, a list of three names) works as served: rendering it
  // would only freeze the scripts that fold its menus and trees.
  return LaidOutElements(html, kShellElements) < kShellElements;
}

bool RenderStage::Wanted(DownloadState& download) const {
  if (context_.renderer == nullptr || download.kind != ContentKind::Page) return false;
  const RenderMode mode = context_.settings.options.render;
  if (mode == RenderMode::Never || context_.queue.mode() == DownloadMode::RetrieveFiles) {
    return false;
  }
  const HttpClient& client = download.client;
  if (client.GetReturnCode() != 200) return false;
  // A page only a script's strings named (a search's result list) is a
  // part of the page that runs the script, which fills it as it is shown:
  // stored as served, it shows as the site's own pages show it.
  if (download.entry.guessed) return false;
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
