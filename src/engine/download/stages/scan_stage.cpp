#include "engine/download/stages/scan_stage.h"

#include <mutex>

#include "encoding/ansi_code_page.h"
#include "encoding/charset_sniffer.h"
#include "encoding/charset_transfer_util.h"
#include "engine/download/document_scope.h"
#include "engine/queue/address_queue.h"
#include "engine/run/run_tally.h"
#include "engine/surface/i_status_monitor.h"
#include "runtime/fs/confined_folder.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "site/css/style_sheet_scanner.h"
#include "site/html/html_scanner.h"
#include "site/rewrite/reference_writer.h"
#include "site/script/named_files.h"

namespace kestrine {

namespace {

// A large file is held as text at twice its size while it is read: one at
// a time, so a site of many such files costs no more than one.
constexpr std::int64_t kLargeFileBytes = 8ll * 1024 * 1024;

std::optional<NamedFiles::Kind> NamedKindOf(ContentKind kind, const std::u16string& address) {
  if (kind == ContentKind::Script) return NamedFiles::Kind::Script;
  if (kind == ContentKind::Json) return NamedFiles::Kind::Json;
  const std::u16string extension = PathExtensionOf(address);
  if (extension == u"pf_meta") return NamedFiles::Kind::PagefindMeta;
  if (kind == ContentKind::Other && (extension == u"json" || extension == u"webmanifest")) {
    return NamedFiles::Kind::Json;
  }
  return std::nullopt;
}

DocumentRecords::Kind DocumentKindOf(ContentKind kind) {
  switch (kind) {
    case ContentKind::StyleSheet:
      return DocumentRecords::Kind::StyleSheet;
    case ContentKind::Svg:
      return DocumentRecords::Kind::Svg;
    default:
      return DocumentRecords::Kind::Page;
  }
}

// The body decoded, from memory when it is held there, else from its file.
DecodedBody Decoded(const HttpClient& client, BodyKind kind) {
  const std::string contentType = client.GetHeaderValue("Content-Type");
  if (client.IsBodyHeld()) return CharsetSniffer::Decode(client.GetMemoryBody(), contentType, kind);
  return CharsetSniffer::Decode(client.GetBody(), contentType, kind);
}

bool IsDocument(ContentKind kind) {
  return kind == ContentKind::Page || kind == ContentKind::StyleSheet || kind == ContentKind::Svg;
}

}  // namespace

bool ScanStage::Stopped() const {
  return context_.monitor.IsCancelRequested() || context_.monitor.IsPauseRequested();
}

StageResult ScanStage::Run(DownloadState& download) {
  if (context_.queue.mode() == DownloadMode::RetrieveFiles) return StageResult::Continue;
  TakeNamedFiles(download);
  if (IsDocument(download.kind)) {
    ScanDocument(download);
    if (Stopped()) return endings_.Halt(download);
  }
  return StageResult::Continue;
}

// The files a stored script, JSON file or index of the site names: the
// files a copy needs for its scripts to run, which no page links. At most
// FoundNames::kMaxNames from one file, and nothing more once a limit of the
// run is reached.
void ScanStage::TakeNamedFiles(DownloadState& download) {
  IDownloadHost& host = context_.host;
  HttpClient& client = download.client;
  // Reading costs time and memory: none once the run can take no more.
  if (!host.MayQueueMore()) return;
  const std::u16string address = client.GetLocationURL();
  if (!StringUtility::EqualsIgnoreCaseAscii(SplitAbsolute(address).host,
                                            context_.queue.siteHost())) {
    return;
  }
  const auto kind = NamedKindOf(download.kind, address);
  if (!kind) return;
  FoundNames names(FoundNames::kMaxNames, [&host] { return !host.MayQueueMore(); });
  FoundNames guesses(NamedFiles::kMaxGuesses);
  std::unique_lock<std::mutex> oneLargeFile;
  if (client.GetReceivedBytes() > kLargeFileBytes) {
    static std::mutex largeFiles;
    oneLargeFile = std::unique_lock(largeFiles);
  }
  if (*kind == NamedFiles::Kind::PagefindMeta) {
    NamedFiles::InPagefindMeta(client.GetBody(), names);
  } else {
    const std::u16string text = Decoded(client, BodyKind::Page).text;
    if (*kind == NamedFiles::Kind::Script) {
      NamedFiles::InScript(text, address, names, &guesses);
    } else {
      NamedFiles::InJson(text, address, names);
    }
  }
  oneLargeFile = {};
  if (names.skipped() > 0) ++context_.tally.namesCapped;
  DocumentScope scope(host, download.entry, DocumentRole::Requisite, [this] { return Stopped(); });
  const std::u16string& siteFolder = context_.files.path();
  ReferenceWriter writer(scope, address, siteFolder, siteFolder);
  std::size_t left = names.names().size();
  for (const std::u16string& reference : names.names()) {
    // A limit reached: what is left would only be refused one by one.
    if (!host.MayQueueMore()) {
      context_.tally.beyondFileLimit += static_cast<int>(left);
      return;
    }
    writer.TakeNamed(reference);
    --left;
  }
  TakeGuesses(guesses, writer, scope);
}

// A relative name in a script file is fetched by the page that runs it,
// which may be anywhere: it is guessed beside the script and at the top of
// the site, where the pages that load a site's scripts most often are.
void ScanStage::TakeGuesses(const FoundNames& guesses, ReferenceWriter& besideScript,
                            DocumentScope& scope) {
  const std::u16string& siteFolder = context_.files.path();
  ReferenceWriter atTop(scope, context_.queue.sitePrefix(), siteFolder, siteFolder);
  for (const std::u16string& guess : guesses.names()) {
    if (!context_.host.MayQueueMore()) return;
    besideScript.TakeGuessed(guess);
    if (!guess.starts_with(u'/')) atTop.TakeGuessed(guess);
  }
}

// Reads, scans and rewrites a page, style sheet or SVG image; the bytes
// to store go to the download's client.
void ScanStage::ScanDocument(DownloadState& download) {
  HttpClient& client = download.client;
  const QueueEntry& entry = download.entry;
  const std::u16string address(entry.address);
  const AddressQueue& queue = context_.queue;
  const bool styleSheet = download.kind == ContentKind::StyleSheet;
  const std::u16string location = client.GetLocationURL();
  if (!styleSheet && location != address && !ContainsSitePrefix(location, queue.sitePrefix())) {
    return;
  }
  // Style sheets are scanned wherever they come from, pages and images only
  // inside the site.
  if (!styleSheet && !IsUnderSitePrefix(address, queue.sitePrefix())) return;
  if (client.GetReceivedBytes() > kMaxRewrittenBytes) {
    context_.report.Log(DisplayPath(download.target.path) +
                        u" stored as received: larger than 32 MB, not rewritten");
    return;
  }
  // A rendered page is read as the browser serialised it, in UTF-8.
  DecodedBody decoded =
      download.rendered  ? DecodedBody{"utf-8", StringUtility::FromUtf8(*download.rendered)}
      : download.decoded ? std::move(*download.decoded)
                         : Decoded(client, styleSheet ? BodyKind::StyleSheet : BodyKind::Page);
  download.rendered.reset();
  download.decoded.reset();
  const std::u16string charset = AnsiCodePage::ToWide(decoded.charset);
  // A UTF-8 document is written straight back to bytes as it is read, and
  // its received bytes are let go now: it is held once as text and once as
  // bytes. Other charsets go through the text.
  const CharsetTransferUtil& charsets = CharsetTransferUtil::GetInstance();
  const bool utf8 = charsets.GetCodePage(charset) == CharsetTransferUtil::kUtf8;
  std::string bytes;
  if (utf8) client.DropHeldBody();
  ScannedDocument scanned{DocumentKindOf(download.kind), charset, {}};
  DocumentScope scope(
      context_.host, entry,
      download.kind == ContentKind::Page ? DocumentRole::Page : DocumentRole::Requisite,
      [this] { return Stopped(); });
  // Relative references lead from where the answer came from, after any
  // redirect, as a browser reads them.
  const std::u16string& siteFolder = context_.files.path();
  std::string* utf8Bytes = utf8 ? &bytes : nullptr;
  if (styleSheet) {
    ScanStyleSheetReferences(scope, decoded.text, location, siteFolder, download.target.folder,
                             &scanned.written, utf8Bytes);
  } else {
    ScanHtmlReferences(
        scope, decoded.text, location, siteFolder, download.target.folder, &scanned.written,
        download.kind == ContentKind::Svg ? MarkupKind::Svg : MarkupKind::Html, utf8Bytes);
  }
  // A text the charset cannot hold (a page declared UTF-16, say) comes back
  // empty; the received bytes then stay rather than being wiped.
  if (!utf8) bytes = charsets.WideToCharset(charset, decoded.text);
  const bool unwritable = bytes.empty() && !decoded.text.empty();
  decoded.text = {};
  download.scanned = std::move(scanned);
  if (unwritable) return;
  download.rewritten = std::move(bytes);
}

}  // namespace kestrine
