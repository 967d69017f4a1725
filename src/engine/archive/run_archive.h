#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/cdxj_index.h"
#include "archive/warc_writer.h"
#include "runtime/net/captured_exchange.h"
#include "runtime/result.h"

namespace kestrine {

// The web archive a run keeps beside its copy: every exchange of the run
// as WARC records (a request and its response side by side, or a revisit
// when an update met an unchanged file), an index of them, and at the end
// the CDXJ file and the WACZ package. A continued or updated copy adds
// new numbered files to the earlier ones, and its index and package cover
// them all. Recording is called from every worker at once.
class RunArchive {
 public:
  struct Settings {
    std::string base;  // NAME, with its folder
    bool cdx = false;
    bool wacz = false;
    std::uint64_t maxBytes = 0;
    // An update: what is unchanged since the last capture is a revisit.
    bool update = false;
    std::vector<std::pair<std::string, std::string>> info;
    std::string title;
    std::string mainPageUrl;
  };
  struct Outcome {
    std::string path;  // the package, or the last WARC file
    std::uint64_t bytes = 0;
    std::vector<std::string> errors;
  };

  // Reads what earlier runs left under the name (and cuts a file a killed
  // run left mid-record back to its last whole one).
  static Result<std::unique_ptr<RunArchive>> Open(Settings settings);

  // Writes the exchanges, in the order given. Many downloads may at once.
  void Record(const std::vector<CapturedExchange>& exchanges);
  bool KeepsPages() const { return settings_.wacz; }
  bool KeepsIndex() const { return settings_.cdx || settings_.wacz; }
  // A page of the site for the package's page list.
  void AddPage(const std::string& url, const std::string& date, const std::u16string& title,
               const std::u16string& text);
  // Writes the index and the package. Beside the package the page list of
  // every run under the name stays (NAME.pages.jsonl), for the next one.
  Outcome Finish();

 private:
  struct Capture {
    std::string date;
    std::string payloadDigest;
    std::string id;
  };
  explicit RunArchive(Settings settings);
  Status ReadEarlier(const std::vector<std::string>& files);
  std::vector<WarcRecord> RecordsOf(const CapturedExchange& exchange);
  void Index(const CapturedExchange& exchange, const WarcRecord& response,
             const WarcWriter::Placed& placed);
  Status WriteIndex(const std::string& path) const;
  Status WritePackage(const std::string& indexPath);
  void OpenPages();

  Settings settings_;
  std::unique_ptr<WarcWriter> writer_;
  std::vector<std::string> earlierFiles_;
  CdxjIndex index_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Capture> latest_;
  std::ofstream pages_;
  std::string firstPageDate_;
  std::vector<std::string> errors_;
};

}  // namespace kestrine
