#include "viewer/copy_viewer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include <vector>

#include "archive/warc_file_set.h"
#include "encoding/gunzip.h"
#include "engine/journal/project_journal.h"
#include "engine/queue/address_queue.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "site/address/address.h"
#include "viewer/http_server.h"
#include "viewer/own_origin_links.h"

namespace kestrine {

namespace {

// The extensions whose type a browser insists on, and the rest of the
// common ones; anything else is bytes.
constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
    {"html", "text/html; charset=utf-8"},
    {"htm", "text/html; charset=utf-8"},
    {"xhtml", "application/xhtml+xml"},
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"mjs", "text/javascript"},
    {"cjs", "text/javascript"},
    {"json", "application/json"},
    {"map", "application/json"},
    {"webmanifest", "application/manifest+json"},
    {"wasm", "application/wasm"},
    {"svg", "image/svg+xml"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},
    {"webp", "image/webp"},
    {"avif", "image/avif"},
    {"ico", "image/x-icon"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"xml", "application/xml"},
    {"txt", "text/plain; charset=utf-8"},
    {"pdf", "application/pdf"},
    {"mp4", "video/mp4"},
    {"webm", "video/webm"},
    {"mp3", "audio/mpeg"},
};

std::string PathOf(const std::string& target) { return target.substr(0, target.find('?')); }

// The segments of a request's path, decoded; nothing when one would climb
// out ("." or ".." however it is written) or holds what no name may.
std::optional<std::vector<std::string>> SegmentsOf(const std::string& path) {
  std::vector<std::string> segments;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string segment = StringUtility::PercentDecoded(path.substr(start, slash - start));
    if (segment == "." || segment == ".." ||
        segment.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
      return std::nullopt;
    }
    if (!segment.empty()) segments.push_back(segment);
    start = slash + 1;
  }
  return segments;
}

std::u16string Joined(const std::vector<std::string>& segments) {
  std::string joined;
  for (const std::string& segment : segments) {
    if (!joined.empty()) joined += '\\';
    joined += segment;
  }
  return StringUtility::FromUtf8(joined);
}

// The engine's own files in the site folder (its journal, log, lock and the
// partial files of a run under way) are no part of the copy a page may read.
bool IsEngineFile(const std::u16string& relative) {
  const std::u16string top = relative.substr(0, relative.find(u'\\'));
  return top == AddressQueue::kLogFileName || top == AddressQueue::kJournalFileName ||
         top.starts_with(u"~kestrine-");
}

bool IsLocalHost(const std::string& host, int port) {
  const std::string suffix = ":" + std::to_string(port);
  return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

}  // namespace

struct CopyViewer::Server {
  explicit Server(HttpServer::Handler handler) : http(std::move(handler)) {}
  HttpServer http;
};

CopyViewer::CopyViewer(std::u16string siteFolder, const std::string& archiveBase)
    : siteFolder_(std::move(siteFolder)),
      files_(ConfinedFolder::Open(siteFolder_, ConfinedFolder::Create::No)) {
  LoadJournal();
  std::vector<std::string> archives;
  for (const WarcFileSet::File& file :
       WarcFileSet::Of(archiveBase.empty() ? NativePath(siteFolder_) : archiveBase)) {
    archives.push_back(file.path);
  }
  if (!siteHost_.empty()) archive_ = WarcReplay::Load(archives);
}

CopyViewer::~CopyViewer() { Stop(); }

void CopyViewer::LoadJournal() {
  const ProjectJournal::Contents contents = ProjectJournal::ReadCopy(siteFolder_);
  if (!contents.found) return;
  siteHost_ = StringUtility::ToUtf8(contents.siteHost);
  // Only what the file holds is served; the journal's word picks which one.
  for (const ProjectJournal::Entry& entry : contents.entries) {
    if (entry.outcome != EntryOutcome::Stored || entry.localFile.empty()) continue;
    std::vector<std::u16string> addresses = entry.aliases;
    addresses.push_back(entry.address);
    for (const std::u16string& address : addresses) {
      const std::u16string identity = WithoutWebScheme(address);
      const std::size_t slash = identity.find(u'/');
      if (slash == std::u16string::npos ||
          !StringUtility::EqualsIgnoreCaseAscii(identity.substr(0, slash), contents.siteHost)) {
        continue;
      }
      byAddress_.emplace(StringUtility::ToUtf8(identity.substr(slash)), entry.localFile);
    }
  }
}

std::string CopyViewer::ContentTypeOf(std::u16string_view localFile) {
  const std::size_t dot = localFile.rfind(u'.');
  const std::size_t slash = localFile.find_last_of(u"\\/");
  if (dot == std::u16string_view::npos || (slash != std::u16string_view::npos && dot < slash)) {
    return "application/octet-stream";
  }
  const std::string extension =
      StringUtility::ToLowerAscii(StringUtility::ToUtf8(localFile.substr(dot + 1)));
  for (const auto& [known, type] : kTypes) {
    if (known == extension) return std::string(type);
  }
  return "application/octet-stream";
}

std::optional<std::u16string> CopyViewer::ByAddress(const std::string& target) const {
  for (const std::string& key : {target, StringUtility::PercentDecoded(target)}) {
    const auto found = byAddress_.find(key);
    if (found != byAddress_.end() && !IsEngineFile(found->second) &&
        files_.HoldsFile(found->second)) {
      return found->second;
    }
  }
  return std::nullopt;
}

// The file a path names in the copy's own layout: the file itself, a
// folder's "index.html", or "X.html" for "X".
std::optional<std::u16string> CopyViewer::ByPath(const std::string& path, Answer& answer) const {
  const auto segments = SegmentsOf(path);
  if (!segments) {
    answer.status = 400;
    return std::nullopt;
  }
  const std::u16string relative = Joined(*segments);
  if (IsEngineFile(relative)) return std::nullopt;
  const bool folderAsked = path.ends_with('/');
  if (!folderAsked && !relative.empty() && files_.HoldsFile(relative)) return relative;
  if (files_.HoldsFolder(relative)) {
    const std::u16string index = relative.empty() ? u"index.html" : relative + u"\\index.html";
    if (!folderAsked) {
      // Relative references of the folder's page lead from its "/" form.
      answer.status = 301;
      answer.location = path + "/";
      return std::nullopt;
    }
    if (files_.HoldsFile(index)) return index;
    answer.status = 404;  // no listing of a folder
    return std::nullopt;
  }
  if (!folderAsked && !relative.empty() && files_.HoldsFile(relative + u".html")) {
    return relative + u".html";
  }
  return std::nullopt;
}

// A page found by the site's own address, stored in another folder: its
// references lead from where it is stored, so the browser is sent there.
// (A rendered page's scripts put the site's address back as they start.)
bool CopyViewer::IsPageElsewhere(std::u16string_view localFile, const std::string& target) {
  if (!ContentTypeOf(localFile).starts_with("text/html")) return false;
  const std::string address = AddressOf(localFile);
  const std::string path = PathOf(target);
  return address.substr(0, address.rfind('/')) != path.substr(0, path.rfind('/'));
}

// The local file's own path on the viewer, every byte but the safe ones
// escaped.
std::string CopyViewer::AddressOf(std::u16string_view localFile) {
  std::string address = "/";
  for (const unsigned char c : StringUtility::ToUtf8(localFile)) {
    if (c == '\\') {
      address += '/';
    } else if (std::isalnum(c) != 0 ||
               std::string_view("-._~").find(static_cast<char>(c)) != std::string_view::npos) {
      address += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      address += '%';
      address += kHex[c >> 4];
      address += kHex[c & 0xF];
    }
  }
  return address;
}

CopyViewer::Answer CopyViewer::Resolve(const std::string& target) const {
  Answer answer;
  if (target.empty() || target[0] != '/') {
    answer.status = 400;
    return answer;
  }
  std::optional<std::u16string> file = ByAddress(target);
  if (file && IsPageElsewhere(*file, target)) {
    answer.status = 302;
    answer.location = AddressOf(*file);
    return answer;
  }
  if (!file) file = ByPath(PathOf(target), answer);
  if (!file) return answer;
  answer.status = 200;
  answer.localFile = *file;
  // A name that took its address's query ("index.json_abc") keeps the
  // address's own type.
  answer.contentType = ContentTypeOf(*file);
  if (answer.contentType == "application/octet-stream") {
    answer.contentType = ContentTypeOf(StringUtility::FromUtf8(PathOf(target)));
  }
  return answer;
}

// The site's answer for a path and query as the archive recorded it, over
// either scheme; a query the site ignored (a cache buster, a search page's
// words) finds the answer without it, or the one with another query.
std::optional<WarcReplay::Response> CopyViewer::Recorded(const std::string& target) const {
  for (const std::string& asked : {target, PathOf(target)}) {
    for (const char* scheme : {"https://", "http://"}) {
      if (auto recorded = archive_.Find(scheme + siteHost_ + asked)) return recorded;
    }
    if (asked.find('?') == std::string::npos) break;
  }
  for (const char* scheme : {"https://", "http://"}) {
    if (auto recorded = archive_.FindAnyQuery(scheme + siteHost_ + target)) return recorded;
  }
  return std::nullopt;
}

std::optional<HttpResponse> CopyViewer::FromArchive(const HttpRequest& request) const {
  if (archive_.empty() || request.target.empty() || request.target[0] != '/') return std::nullopt;
  std::optional<WarcReplay::Response> recorded = Recorded(request.target);
  if (!recorded) return std::nullopt;
  HttpResponse response;
  response.status = 200;
  if (OwnOriginLinks::AppliesTo(recorded->contentType)) {
    std::string encoding = StringUtility::ToLowerAscii(recorded->contentEncoding);
    if (encoding == "gzip" || encoding == "x-gzip") {
      Result<std::string> plain = Gunzip(recorded->body, WarcReplay::kMaxBody);
      if (plain) {
        recorded->body = std::move(*plain);
        recorded->contentEncoding.clear();
        encoding.clear();
      }
    }
    if (encoding.empty() || encoding == "identity") {
      recorded->body =
          OwnOriginLinks::Rewritten(recorded->body, siteHost_, "http://" + request.Header("Host"));
    }
  }
  if (!recorded->contentType.empty()) response.SetHeader("Content-Type", recorded->contentType);
  if (!recorded->contentEncoding.empty()) {
    response.SetHeader("Content-Encoding", recorded->contentEncoding);
  }
  response.body = std::move(recorded->body);
  return response;
}

HttpResponse CopyViewer::Respond(const HttpRequest& request) const {
  HttpResponse response;
  if (!IsLocalHost(request.Header("Host"), request.serverPort)) {
    response.status = 403;
    return response;
  }
  if (std::optional<HttpResponse> archived = FromArchive(request)) return std::move(*archived);
  const CopyViewer::Answer answer = Resolve(request.target);
  response.status = answer.status;
  if (answer.status == 301 || answer.status == 302) {
    response.SetHeader("Location", answer.location);
  }
  if (answer.status != 200) return response;
  UniqueFd file = files_.OpenFile(answer.localFile);
  struct stat status {};
  if (!file || ::fstat(file.get(), &status) != 0) {
    response.status = 404;
    return response;
  }
  response.SetHeader("Content-Type", answer.contentType);
  response.file = std::move(file);
  response.fileSize = static_cast<std::uint64_t>(status.st_size);
  return response;
}

int CopyViewer::Start(int port) {
  if (!files_.IsOpen()) {
    error_ = files_.error();
    return 0;
  }
  server_ =
      std::make_unique<Server>([this](const HttpRequest& request) { return Respond(request); });
  const Result<int> listening = server_->http.Start(port);
  if (!listening) {
    error_ = listening.error().message;
    server_.reset();
    return 0;
  }
  port_ = *listening;
  return port_;
}

void CopyViewer::Stop() {
  if (!server_) return;
  server_->http.Stop();
  server_.reset();
}

std::string CopyViewer::Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

}  // namespace kestrine
