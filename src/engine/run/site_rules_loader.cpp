#include "engine/run/site_rules_loader.h"

#include "engine/queue/admission_rules.h"
#include "engine/run/run_tally.h"
#include "engine/run/site_rules_gate.h"
#include "engine/run/sitemap_loader.h"
#include "runtime/net/http_client.h"
#include "runtime/string_utility.h"
#include "site/rules/robots_rules.h"

namespace kestrine {

namespace {

// robots.txt is kept in memory up to this size and read as far as it
// arrived: a crawler should read at least 500 KiB of it.
constexpr std::size_t kMaxRobotsBytes = 512 * 1024;

}  // namespace

// The site's rules are fetched before its pages; a cancel or a pause ends
// those transfers as it ends the downloads.
class SiteRulesLoader::StopWhenAsked : public IDownloadStatus {
 public:
  explicit StopWhenAsked(const std::function<bool()>& stopped) : stopped_(stopped) {}
  void OnProgress(std::int64_t, std::int64_t) override {}
  int ShouldStop() override { return stopped_() ? 1 : 0; }

 private:
  const std::function<bool()>& stopped_;
};

SiteRulesLoader::SiteRulesLoader(const RunSettings& settings, TransferEngine& transfers, Site site,
                                 Hooks hooks)
    : settings_(settings),
      transfers_(transfers),
      site_(std::move(site)),
      hooks_(std::move(hooks)) {}

void SiteRulesLoader::Load(AdmissionRules& rules, SiteRulesGate& gate, RunTally& tally) {
  const DownloadOptions& options = settings_.options;
  std::vector<std::string> sitemaps;
  if (options.robots || options.sitemaps) sitemaps = LoadRobots(rules);
  gate.Open();
  if (options.sitemaps && !hooks_.stopped()) LoadSitemaps(std::move(sitemaps), tally);
}

// A fetch of the run, into memory, captured when the run keeps an archive.
void SiteRulesLoader::Prepare(HttpClient& client, std::size_t maxBytes) const {
  client.SetTransferEngine(&transfers_);
  client.SetTimeout(settings_.timeOutSeconds * 1000);
  client.SetRequestOptions(RequestOptionsFor(settings_.options, 1));
  client.SinkToMemory(maxBytes);
  client.CaptureExchanges(static_cast<bool>(hooks_.fetched));
}

// The sitemaps robots.txt names; its rules go to the admission rules.
std::vector<std::string> SiteRulesLoader::LoadRobots(AdmissionRules& rules) {
  const DownloadOptions& options = settings_.options;
  StopWhenAsked stop(hooks_.stopped);
  HttpClient client;
  client.SetDownloadStatus(&stop);
  Prepare(client, kMaxRobotsBytes);
  client.Navigate2(site_.origin + u"/robots.txt");
  if (hooks_.fetched) hooks_.fetched(client);
  const bool answered = client.GetFailure() == HttpClient::Failure::None;
  const int status = client.GetReturnCode();
  if (answered && status < 400) {
    if (options.robots) {
      const std::string agent = options.userAgent.empty() ? DefaultUserAgent() : options.userAgent;
      rules.SetRobots(RobotsRules::Parse(client.GetMemoryBody(), agent));
    }
    return RobotsRules::SitemapsIn(client.GetMemoryBody());
  }
  if (options.robots && answered && status >= 500 && status < 600) {
    // A server error leaves it open what the site allows: nothing of it is
    // taken this run.
    rules.SetRobots(RobotsRules::Parse("User-agent: *\nDisallow: /\n", "*"));
    hooks_.log(u"robots.txt answered " + StringUtility::FromUtf8(client.GetFailureReason()) +
               u": the site's pages are not taken this run");
  }
  // One that cannot be fetched or read allows everything.
  return {};
}

// Every address inside the site that the sitemaps name is queued, as if the
// start page linked it (see SitemapLoader for the bounds).
void SiteRulesLoader::LoadSitemaps(std::vector<std::string> sitemaps, RunTally& tally) {
  StopWhenAsked stop(hooks_.stopped);
  const SitemapLoader::Hooks hooks{
      [&](const std::u16string& address) -> std::optional<std::string> {
        HttpClient client;
        client.SetDownloadStatus(&stop);
        Prepare(client, SitemapLoader::kMaxSitemapBytes);
        const bool fetched = client.Navigate2(address);
        if (hooks_.fetched) hooks_.fetched(client);
        if (!fetched) return std::nullopt;
        return client.GetMemoryBody();
      },
      hooks_.queue, hooks_.stopped};
  const SitemapLoader::Counts counts = SitemapLoader::Load(
      std::move(sitemaps), site_.origin + u"/sitemap.xml", {site_.host, site_.prefix}, hooks);
  tally.sitemapTaken = counts.taken;
  tally.sitemapBeyond = counts.beyondCap;
}

}  // namespace kestrine
