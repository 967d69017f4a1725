#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrine {

// How pages are rendered in a browser before they are stored: never, when
// the served page looks like an application's empty shell, or always.
enum class RenderMode { Never, Auto, Always };

// What a run needs beyond the settings record: certificates, limits,
// filters and politeness. Filled by a front end (command line, kestrine.conf)
// and read by the engine, which never parses text itself. Zero or empty
// means "no limit" throughout.
struct DownloadOptions {
  // Certificates.
  std::string caCertificate;  // an extra trust anchor (PEM file)
  bool checkCertificate = true;

  // What to fetch.
  int level = -1;                   // link depth from the start page (0); -1: unlimited
  bool externalPages = true;        // pages outside the site prefix are fetched
  bool spanHosts = true;            // anything on another host than the site's is fetched
  std::vector<std::string> accept;  // shell patterns on the file name
  std::vector<std::string> reject;
  std::vector<std::string> include;  // shell patterns on the whole address
  std::vector<std::string> exclude;
  bool trapRules = true;

  // Limits.
  std::int64_t quota = 0;        // bytes stored in all
  int maxFiles = 0;              // files stored
  std::int64_t maxFileSize = 0;  // bytes of one file
  int maxTime = 0;               // seconds one transfer may take

  // Transient failures (a connection lost, a time-out, 408, 429, 500, 502,
  // 503, 504): tries in all for one file, and the longest wait between two.
  int tries = 3;
  double waitRetrySeconds = 10;

  // Politeness.
  double waitSeconds = 0;            // between two requests; one at a time
  int maxStreams = 32;               // requests at once on one HTTP/2 connection
  std::int64_t limitRate = 0;        // bytes per second, shared out over the workers
  std::string userAgent;             // empty: "Kestrine/<version>"
  bool robots = true;                // honour the site's robots.txt for its pages
  bool sitemaps = true;              // queue the pages the site's sitemaps name
  std::vector<std::string> headers;  // "Name: value"
  std::string loadCookies;           // a Netscape-format cookie file

  // A web archive beside the copy: NAME.warc.gz (with its folder; empty:
  // none unless wacz asks, which names it after the site folder), its CDXJ
  // index, a WACZ package, and a size after which a new file begins.
  std::string warcFile;
  bool warcCdx = false;
  bool wacz = false;
  std::int64_t warcMaxSize = 0;
  // Pages rendered in a browser (when a front end gives the project one):
  // which, how many at once, and how long one may take.
  RenderMode render = RenderMode::Auto;
  int renderTabs = 2;
  int renderTimeoutSeconds = 15;

  // How the run was asked for, for the archive's warcinfo record.
  std::string commandLine;

  bool KeepsArchive() const { return !warcFile.empty() || wacz; }
};

// "Kestrine/<version>", the default user agent.
std::string DefaultUserAgent();

}  // namespace kestrine
