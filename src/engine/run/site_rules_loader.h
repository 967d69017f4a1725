#pragma once

#include <functional>
#include <string>

#include "engine/run/run_settings.h"

namespace kestrine {

class AdmissionRules;
class HttpClient;
class TransferEngine;
class SiteRulesGate;
struct RunTally;

// What a site says of itself, read once per project before its pages are
// scanned: its robots.txt, whose rules go to the admission rules (and whose
// answer opens the gate the scanners wait at), then the sitemaps it names
// (or /sitemap.xml), whose addresses are queued. Every fetch here is a
// transfer of the run: it stops with the run and keeps --max-time.
class SiteRulesLoader {
 public:
  struct Site {
    std::u16string origin;  // "https://host:port", whence /robots.txt
    std::u16string host;
    std::u16string prefix;
  };
  struct Hooks {
    std::function<bool()> stopped;
    // Queues an address found in a sitemap; true when it was new.
    std::function<bool(const std::u16string& address)> queue;
    // A line of the site's download log.
    std::function<void(const std::u16string& line)> log;
    // When set, each fetch's exchanges go here (the run's web archive).
    std::function<void(HttpClient& client)> fetched;
  };

  SiteRulesLoader(const RunSettings& settings, TransferEngine& transfers, Site site, Hooks hooks);
  void Load(AdmissionRules& rules, SiteRulesGate& gate, RunTally& tally);

 private:
  class StopWhenAsked;
  std::vector<std::string> LoadRobots(AdmissionRules& rules);
  void Prepare(HttpClient& client, std::size_t maxBytes) const;
  void LoadSitemaps(std::vector<std::string> sitemaps, RunTally& tally);

  const RunSettings& settings_;
  TransferEngine& transfers_;
  const Site site_;
  const Hooks hooks_;
};

}  // namespace kestrine
