#include "engine/copy_viewer.h"

#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine/project_journal.h"
#include "runtime/string_utility.h"
#include "site/address.h"

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

bool IsLocalHost(const std::string& host, int port) {
  const std::string suffix = ":" + std::to_string(port);
  return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

}  // namespace

struct CopyViewer::Server {
  httplib::Server http;
  std::thread thread;
};

CopyViewer::CopyViewer(std::u16string siteFolder)
    : siteFolder_(std::move(siteFolder)),
      files_(ConfinedFolder::Open(siteFolder_, ConfinedFolder::Create::No)) {
  LoadJournal();
}

CopyViewer::~CopyViewer() { Stop(); }

void CopyViewer::LoadJournal() {
  const ProjectJournal::Contents contents = ProjectJournal::ReadCopy(siteFolder_);
  if (!contents.found) return;
  // Only what the file holds is served; the journal's word picks which one.
  for (const ProjectJournal::Entry& entry : contents.entries) {
    if (entry.outcome != 1 || entry.localFile.empty()) continue;
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
    if (found != byAddress_.end() && files_.HoldsFile(found->second)) return found->second;
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

CopyViewer::Answer CopyViewer::Resolve(const std::string& target) const {
  Answer answer;
  if (target.empty() || target[0] != '/') {
    answer.status = 400;
    return answer;
  }
  std::optional<std::u16string> file = ByAddress(target);
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

int CopyViewer::Start(int port) {
  if (!files_.IsOpen()) {
    error_ = files_.error();
    return 0;
  }
  server_ = std::make_unique<Server>();
  server_->http.Get(R"(.*)", [this](const httplib::Request& request, httplib::Response& response) {
    if (!IsLocalHost(request.get_header_value("Host"), port_)) {
      response.status = 403;
      return;
    }
    const Answer answer = Resolve(request.target);
    response.status = answer.status;
    if (answer.status == 301) response.set_header("Location", answer.location);
    if (answer.status != 200) return;
    const int fd = files_.OpenFile(answer.localFile);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
      if (fd >= 0) ::close(fd);
      response.status = 404;
      return;
    }
    response.set_content_provider(
        static_cast<std::size_t>(status.st_size), answer.contentType,
        [fd](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          std::vector<char> block(std::min<std::size_t>(length, 64 * 1024));
          const ssize_t got = ::pread(fd, block.data(), block.size(), static_cast<off_t>(offset));
          return got > 0 && sink.write(block.data(), static_cast<std::size_t>(got));
        },
        [fd](bool) { ::close(fd); });
  });
  port_ = port == 0 ? server_->http.bind_to_any_port("127.0.0.1")
                    : (server_->http.bind_to_port("127.0.0.1", port) ? port : -1);
  if (port_ <= 0) {
    error_ =
        "cannot listen on 127.0.0.1" + (port == 0 ? std::string() : ":" + std::to_string(port));
    port_ = 0;
    server_.reset();
    return 0;
  }
  server_->thread = std::thread([this] { server_->http.listen_after_bind(); });
  // A stop must find the loop running, or it would wait for nothing.
  for (int i = 0; i < 1000 && !server_->http.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return port_;
}

void CopyViewer::Stop() {
  if (!server_) return;
  server_->http.stop();
  if (server_->thread.joinable()) server_->thread.join();
  server_.reset();
}

std::string CopyViewer::Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

}  // namespace kestrine
