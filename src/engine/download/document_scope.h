#pragma once

#include <string>

#include "engine/download/download_host.h"
#include "engine/queue/queue_entry.h"
#include "site/rewrite/scan_project.h"

namespace kestrine {

// What a document is to the files it names: a page starts a new chain of
// files, anything else (a style sheet, a script, JSON) adds to its own.
enum class DocumentRole { Page, Requisite };

// The project as a scan of one document sees it: every address found there
// is one link deeper than the document, and one file further along its
// chain unless the document is a page.
class DocumentScope : public IScanProject {
 public:
  DocumentScope(IDownloadHost& host, const QueueEntry& document, DocumentRole role,
                std::function<bool()> stopped)
      : host_(host),
        depth_(document.depth),
        chain_(role == DocumentRole::Page ? 0 : document.chain),
        stopped_(std::move(stopped)) {}
  FoundAddress AddFoundAddress(const std::u16string& address) override {
    return host_.AddFound(address, depth_ + 1, chain_, AddressSource::Reference);
  }
  FoundAddress AddNamedAddress(const std::u16string& address) override {
    return host_.AddFound(address, depth_ + 1, chain_, AddressSource::Script);
  }
  FoundAddress AddGuessedAddress(const std::u16string& address) override {
    return host_.AddFound(address, depth_ + 1, chain_, AddressSource::Guess);
  }
  bool IsStopRequested() override { return stopped_(); }

 private:
  IDownloadHost& host_;
  const int depth_;
  const int chain_;
  const std::function<bool()> stopped_;
};

}  // namespace kestrine
