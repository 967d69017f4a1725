#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "config/download_options.h"
#include "site/rules/robots_rules.h"

namespace kestrine {

// Why an address was not queued.
enum class Refusal : int {
  None = 0,
  Level,         // a page deeper than --level
  ExternalPage,  // a page outside the site, with --no-external-pages
  OtherHost,     // anything on another host, with --no-span-hosts
  Filtered,      // --accept, --reject, --include or --exclude
  Robots,        // the site's robots.txt
  TrapDepth,     // a path deeper than 32 folders
  TrapRepeats,   // a path segment more than 3 times
  TrapLength,    // an address longer than 2,048 characters
  TrapQueries,   // a path queued with more than 1,000 query strings
  FileLimit,     // enough addresses wait already to reach --max-files
  TrapChain,     // more than 16 files in a row, each named by the one before
  Count,
};

// The one decision "may this address be queued, and if not, why", made when
// a scanned page or style sheet hands over an address not seen before. The
// start address is never put to it: the user asked for it.
class AdmissionRules {
 public:
  static constexpr int kMaxFolders = 32;
  static constexpr int kMaxSegmentRepeats = 3;
  static constexpr std::size_t kMaxAddressLength = 2048;
  static constexpr int kMaxQueriesPerPath = 1000;
  static constexpr int kMaxChain = 16;
  // How far beyond --level the files a page needs still come: its images,
  // style sheets and scripts, and what those name in turn.
  static constexpr int kRequisiteLevels = 2;

  AdmissionRules(DownloadOptions options, std::u16string sitePrefix, std::u16string siteHost);

  void SetRobots(RobotsRules robots) { robots_ = std::move(robots); }
  // The project's count of stored files, for the file limit. Not owned.
  void SetStoredFiles(const std::atomic<int>* stored) { storedFiles_ = stored; }
  // `depth` is the link depth the address would have (the start page is 0);
  // `waiting` the addresses queued and not yet fetched; `chain` its files in
  // a row (see ChainOf). Not thread-safe: the caller holds the project lock.
  Refusal Decide(const std::u16string& address, int depth, std::size_t waiting = 0, int chain = 0);
  // The chain an address found in a document of chain `namerChain` gets:
  // 0 for a page, one more than the document's for any other file.
  static int ChainOf(std::u16string_view address, int namerChain);
  // Whether the file limit leaves room for one more address, with
  // `waiting` queued and not yet fetched.
  bool HasRoomFor(std::size_t waiting) const { return !IsBeyondFileLimit(waiting); }
  // Distinct addresses refused for that reason so far.
  int Refused(Refusal reason) const { return counts_[static_cast<int>(reason)]; }
  // "skipped 1,204 addresses that looked like a crawler trap (...)".
  static std::string Describe(Refusal reason, int count);

  // The rules one by one. `path` is the address after its host, from "/".
  static bool IsPageLike(std::u16string_view address);
  static bool IsTooDeep(std::u16string_view path);
  static bool RepeatsASegment(std::u16string_view path);
  static bool IsTooLong(std::u16string_view address);
  // Shell patterns ("*.iso", "*/private/*"), any of which may match.
  static bool MatchesAny(const std::vector<std::string>& patterns, const std::string& text);
  static std::u16string_view PathOf(std::u16string_view address);

 private:
  Refusal Check(const std::u16string& address, int depth, std::size_t waiting, int chain);
  bool IsBeyondFileLimit(std::size_t waiting) const;
  bool IsFiltered(const std::u16string& address, bool page) const;
  bool HasTooManyQueries(std::u16string_view path);

  const DownloadOptions options_;
  const std::u16string sitePrefix_;
  const std::u16string siteHost_;
  RobotsRules robots_;
  const std::atomic<int>* storedFiles_ = nullptr;
  std::unordered_map<std::uint64_t, int> queriesPerPath_;
  std::unordered_set<std::uint64_t> refused_;
  std::array<int, static_cast<int>(Refusal::Count)> counts_{};
};

}  // namespace kestrine
