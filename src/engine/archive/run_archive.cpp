#include "engine/archive/run_archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "archive/wacz_package.h"
#include "archive/warc_file_set.h"
#include "archive/warc_reader.h"
#include "encoding/digest.h"
#include "runtime/http_head.h"
#include "runtime/string_utility.h"
#include "runtime/wall_clock.h"

namespace kestrine {

namespace {

constexpr const char* kNotModified = "http://netpreserve.org/warc/1.1/revisit/server-not-modified";
constexpr const char* kIdenticalPayload =
    "http://netpreserve.org/warc/1.1/revisit/identical-payload-digest";

std::string MimeOf(const std::string& head) {
  std::string_view type = HttpHead::Field(head, "Content-Type");
  type = type.substr(0, type.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
  if (type.empty()) return "unk";
  return StringUtility::ToLowerAscii(std::string(type));
}

// A body that came compressed gains nothing from deflating it again.
bool CameCompressed(const std::string& head) {
  const std::string_view coding = HttpHead::Field(head, "Content-Encoding");
  if (!coding.empty() && !HttpHead::SameName(coding, "identity")) {
    return true;
  }
  const std::string mime = MimeOf(head);
  return (mime.starts_with("image/") && mime != "image/svg+xml") || mime.starts_with("video/") ||
         mime.starts_with("audio/") || mime == "font/woff2" || mime == "font/woff" ||
         mime == "application/zip" || mime == "application/gzip" || mime == "application/wasm";
}

std::string WithoutLabel(const std::string& digest) {
  return digest.starts_with("sha1:") ? digest.substr(5) : digest;
}

std::string Utf8(const std::u16string& text) { return StringUtility::ToUtf8(text); }

}  // namespace

RunArchive::RunArchive(Settings settings) : settings_(std::move(settings)) {}

Result<std::unique_ptr<RunArchive>> RunArchive::Open(Settings settings) {
  std::unique_ptr<RunArchive> archive(new RunArchive(std::move(settings)));
  const std::vector<WarcFileSet::File> earlier = WarcFileSet::Of(archive->settings_.base);
  std::vector<std::string> files;
  files.reserve(earlier.size());
  for (const WarcFileSet::File& file : earlier) files.push_back(file.path);
  if (const Status read = archive->ReadEarlier(files); !read) return read.error();
  WarcWriter::Settings writing{archive->settings_.base, archive->settings_.maxBytes, -1,
                               archive->settings_.info};
  if (!earlier.empty()) writing.firstNumber = std::max(earlier.back().number + 1, 1);
  archive->writer_ = std::make_unique<WarcWriter>(std::move(writing));
  if (archive->settings_.wacz) archive->OpenPages();
  return archive;
}

// Indexes the records of earlier runs, and keeps each address's latest
// capture for revisits. A file that ends mid-record (a run killed while it
// wrote) is cut back to its last whole record.
Status RunArchive::ReadEarlier(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    std::uint64_t whole = 0;
    Status read = WarcReader::ForEach(file, [&](const WarcReader::Record& record) {
      whole = record.offset + record.length;
      const std::string type = record.Field("WARC-Type");
      if (type != "response" && type != "revisit") return;
      const std::string url = record.Field("WARC-Target-URI");
      CdxjIndex::Entry entry{url,
                             record.Field("WARC-Date"),
                             type == "revisit" ? "warc/revisit" : "",
                             record.httpStatus,
                             WithoutLabel(record.Field("WARC-Payload-Digest")),
                             record.offset,
                             record.length,
                             WarcFileSet::NameOnly(file)};
      if (entry.mime.empty()) {
        entry.mime = StringUtility::ToLowerAscii(StringUtility::TrimAscii(
            record.httpContentType.substr(0, record.httpContentType.find(';'))));
        if (entry.mime.empty()) entry.mime = "unk";
      }
      index_.Add(entry);
      latest_[url] = {record.Field("WARC-Date"), record.Field("WARC-Payload-Digest"),
                      record.Field("WARC-Record-ID")};
    });
    if (!read) {
      if (::truncate(file.c_str(), static_cast<off_t>(whole)) != 0) return read;
      errors_.push_back(WarcFileSet::NameOnly(file) + ": " + read.error().message +
                        "; cut back to its " + "last whole record");
    }
    earlierFiles_.push_back(file);
  }
  return Ok();
}

std::vector<WarcRecord> RunArchive::RecordsOf(const CapturedExchange& exchange) {
  WarcRecord request;
  request.type = "request";
  request.id = WarcRecord::NewId();
  request.date = exchange.date;
  request.head = exchange.requestHead;
  request.compress = false;
  WarcRecord response;
  response.type = "response";
  response.id = WarcRecord::NewId();
  response.date = exchange.date;
  response.head = exchange.responseHead;
  response.body = &exchange.body;
  response.compress = !CameCompressed(exchange.responseHead);
  std::vector<std::pair<std::string, std::string>> common{{"WARC-Target-URI", exchange.targetUri}};
  if (!exchange.ipAddress.empty()) common.emplace_back("WARC-IP-Address", exchange.ipAddress);
  if (!exchange.protocol.empty()) common.emplace_back("WARC-Protocol", exchange.protocol);
  request.fields = common;
  request.fields.emplace_back("WARC-Concurrent-To", response.id);
  request.fields.emplace_back("Content-Type", "application/http;msgtype=request");
  Digest requestDigest(Digest::Kind::Sha1);
  requestDigest.Add(request.head);
  request.fields.emplace_back("WARC-Block-Digest", requestDigest.WarcLabel());
  response.fields = common;
  std::optional<Capture> earlier;
  if (settings_.update) {
    std::lock_guard lock(mutex_);
    if (const auto found = latest_.find(exchange.targetUri); found != latest_.end()) {
      earlier = found->second;
    }
  }
  if (earlier && exchange.status == 304) {
    // Empty: a replayed 304 would show an empty page.
    response.type = "revisit";
    response.head.clear();
    response.body = nullptr;
    response.fields.emplace_back("WARC-Profile", kNotModified);
  } else if (earlier && exchange.status == 200 &&
             earlier->payloadDigest == exchange.payloadDigest) {
    response.type = "revisit";
    response.body = nullptr;
    response.fields.emplace_back("WARC-Profile", kIdenticalPayload);
    response.fields.emplace_back("WARC-Truncated", "length");
    response.fields.emplace_back("Content-Type", "application/http;msgtype=response");
  } else {
    response.fields.emplace_back("Content-Type", "application/http;msgtype=response");
  }
  if (response.type == "revisit") {
    response.fields.emplace_back("WARC-Refers-To", earlier->id);
    response.fields.emplace_back("WARC-Refers-To-Target-URI", exchange.targetUri);
    response.fields.emplace_back("WARC-Refers-To-Date", earlier->date);
    if (!earlier->payloadDigest.empty()) {
      response.fields.emplace_back("WARC-Payload-Digest", earlier->payloadDigest);
    }
    Digest blockDigest(Digest::Kind::Sha1);
    blockDigest.Add(response.head);
    response.fields.emplace_back("WARC-Block-Digest", blockDigest.WarcLabel());
  } else {
    response.fields.emplace_back("WARC-Block-Digest", exchange.blockDigest);
    response.fields.emplace_back("WARC-Payload-Digest", exchange.payloadDigest);
  }
  return {std::move(request), std::move(response)};
}

// On the download's own thread: compressing and digesting a record costs
// about what handing it to another thread would, and every worker can do
// it at once. Only the file's append is taken in turn.
void RunArchive::Record(const std::vector<CapturedExchange>& exchanges) {
  for (const CapturedExchange& exchange : exchanges) {
    // A response cut short is no capture of the page: replay would serve
    // it as whole.
    if (!exchange.complete) continue;
    const std::vector<WarcRecord> records = RecordsOf(exchange);
    const Result<std::vector<WarcWriter::Placed>> placed = writer_->Write(records);
    if (!placed) {
      std::lock_guard lock(mutex_);
      if (errors_.size() < 20) errors_.push_back(placed.error().message);
      continue;
    }
    Index(exchange, records[1], (*placed)[1]);
  }
}

void RunArchive::Index(const CapturedExchange& exchange, const WarcRecord& response,
                       const WarcWriter::Placed& placed) {
  // Only an update looks an address's last capture up.
  if (settings_.update && response.type != "revisit") {
    std::lock_guard lock(mutex_);
    latest_[exchange.targetUri] = {exchange.date, exchange.payloadDigest, response.id};
  }
  if (!KeepsIndex()) return;
  const bool revisit = response.type == "revisit";
  const bool emptyRevisit = revisit && response.head.empty();
  std::string digest = exchange.payloadDigest;
  for (const auto& [name, value] : response.fields) {
    if (name == "WARC-Payload-Digest") digest = value;
  }
  index_.Add({exchange.targetUri, exchange.date,
              revisit ? "warc/revisit" : MimeOf(exchange.responseHead),
              emptyRevisit ? 0 : exchange.status, WithoutLabel(digest), placed.offset,
              placed.length, placed.file});
}

void RunArchive::AddPage(const std::string& url, const std::string& date,
                         const std::u16string& title, const std::u16string& text) {
  nlohmann::ordered_json page;
  page["url"] = url;
  page["ts"] = date;
  if (!title.empty()) page["title"] = Utf8(title);
  if (!text.empty()) page["text"] = Utf8(text);
  const std::string line =
      page.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::lock_guard lock(mutex_);
  if (url == settings_.mainPageUrl || firstPageDate_.empty()) firstPageDate_ = date;
  if (!pages_) return;
  pages_.write(line.data(), static_cast<std::streamsize>(line.size()));
  pages_.flush();
}

Status RunArchive::WriteIndex(const std::string& path) const { return index_.Write(path); }

// The page list of every run under the name, kept beside the archive so a
// continued or updated copy's package lists the pages of earlier runs too.
void RunArchive::OpenPages() {
  const std::string path = settings_.base + ".pages.jsonl";
  const bool fresh = !std::ifstream(path).good();
  pages_.open(path, std::ios::binary | std::ios::app);
  if (fresh) pages_ << R"({"format":"json-pages-1.0","id":"pages","title":"All Pages"})" << '\n';
  if (!pages_) errors_.push_back("cannot write " + path);
}

Status RunArchive::WritePackage(const std::string& indexPath) {
  {
    std::lock_guard lock(mutex_);
    pages_.flush();
  }
  const std::string pagesPath = settings_.base + ".pages.jsonl";
  WaczPackage::Contents contents;
  contents.warcFiles = earlierFiles_;
  for (const std::string& file : writer_->Files()) contents.warcFiles.push_back(file);
  contents.indexFile = indexPath;
  contents.pagesFile = pagesPath;
  contents.title = settings_.title;
  contents.mainPageUrl = settings_.mainPageUrl;
  contents.mainPageDate = firstPageDate_;
  contents.created = WallClock::W3cNow();
  return WaczPackage::Write(settings_.base + ".wacz", contents);
}

RunArchive::Outcome RunArchive::Finish() {
  Outcome outcome;
  const std::string indexPath = settings_.base + (settings_.cdx ? ".cdxj" : ".cdxj.partial");
  if (settings_.cdx || settings_.wacz) {
    if (const Status written = WriteIndex(indexPath); !written) {
      outcome.errors.push_back(written.error().message);
    }
  }
  if (settings_.wacz) {
    if (const Status packed = WritePackage(indexPath); !packed) {
      outcome.errors.push_back(packed.error().message);
    }
    if (!settings_.cdx) std::remove(indexPath.c_str());
    outcome.path = settings_.base + ".wacz";
  } else {
    const std::vector<std::string> files = writer_->Files();
    outcome.path = files.empty() ? std::string() : files.back();
  }
  if (!outcome.path.empty()) {
    std::ifstream file(outcome.path, std::ios::binary | std::ios::ate);
    if (file) outcome.bytes = static_cast<std::uint64_t>(file.tellg());
  }
  std::lock_guard lock(mutex_);
  outcome.errors.insert(outcome.errors.end(), errors_.begin(), errors_.end());
  return outcome;
}

}  // namespace kestrine
