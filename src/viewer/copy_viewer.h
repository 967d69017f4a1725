#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "archive/warc_replay.h"
#include "runtime/fs/confined_folder.h"
#include "viewer/http_message.h"

namespace kestrine {

// Serves a copy (its site folder) over HTTP on 127.0.0.1, so that a site's
// module scripts, fetch calls and workers run as they do online: browsers
// refuse them to pages read from disk. Paths are the site's own: the
// journal says which file holds each address (a folder's default document,
// a page stored with ".html"), and otherwise the path is the file's, with
// "index.html" for a folder and "X.html" for "X". Nothing outside the site
// folder is served, nor through a link, nor a folder's listing, and only
// requests addressed to 127.0.0.1 or localhost are answered. The engine's own
// files (journal, log, lock, partial files) are not served.
// When the copy has its web archive, an address the site answered is
// answered as the site did, from the archive: the same bytes, type and
// coding at the same path and query, so root-relative names, integrity
// digests and scripts that check their own address hold as online; the
// copy's files answer the rest.
class CopyViewer {
 public:
  // `archiveBase` is the archive's NAME with its folder; empty: the one
  // beside the site folder, if any.
  explicit CopyViewer(std::u16string siteFolder, const std::string& archiveBase = {});
  ~CopyViewer();
  CopyViewer(const CopyViewer&) = delete;
  CopyViewer& operator=(const CopyViewer&) = delete;

  // Starts serving on `port` (0: any free one) on its own thread; the port,
  // or 0 when it cannot (error() says why).
  int Start(int port = 0);
  void Stop();
  // "http://127.0.0.1:8123/".
  std::string Url() const;
  const std::string& error() const { return error_; }

  // What a request for `target` (a path with its query, as sent) gets.
  struct Answer {
    int status = 404;
    std::u16string localFile;  // for 200, relative to the site folder
    std::string location;      // for 301 and 302
    std::string contentType;
  };
  Answer Resolve(const std::string& target) const;
  // The type a browser needs for a file, by its name.
  static std::string ContentTypeOf(std::u16string_view localFile);
  static bool IsPageElsewhere(std::u16string_view localFile, const std::string& target);
  static std::string AddressOf(std::u16string_view localFile);
  // What the server sends for a request.
  HttpResponse Respond(const HttpRequest& request) const;
  // Addresses the archive answers.
  std::size_t ArchivedAnswers() const { return archive_.size(); }

 private:
  void LoadJournal();
  std::optional<WarcReplay::Response> Recorded(const std::string& target) const;
  std::optional<HttpResponse> FromArchive(const HttpRequest& request) const;
  std::optional<std::u16string> ByAddress(const std::string& target) const;
  std::optional<std::u16string> ByPath(const std::string& path, Answer& answer) const;

  std::u16string siteFolder_;
  ConfinedFolder files_;
  // Each address's file, by path and query on the site's host.
  std::unordered_map<std::string, std::u16string> byAddress_;
  std::string siteHost_;
  WarcReplay archive_;
  int port_ = 0;
  std::string error_;
  struct Server;
  std::unique_ptr<Server> server_;
};

}  // namespace kestrine
