#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/run/failure_tally.h"

namespace kestrine {

class AdmissionRules;

// What a project's run has done so far, counted as it goes from any
// thread: downloads stored and failed, bytes, failures by kind, retries,
// what sitemaps and scripts added, and what an update found. Continued
// after a pause, a run counts on.
struct RunTally {
  std::atomic<int> succeeded{0};
  std::atomic<int> failed{0};
  std::atomic<std::int64_t> bytes{0};
  FailureTally failures;
  // Files that could not be written (a full disk, a link where one goes).
  std::atomic<int> unwritable{0};
  std::atomic<int> retriedFiles{0};
  std::atomic<int> retries{0};
  // Pages rendered in a browser.
  std::atomic<int> rendered{0};
  // What an update found.
  std::atomic<int> unchanged{0};
  std::atomic<int> changed{0};
  std::atomic<int> added{0};
  std::atomic<int> gone{0};
  // Addresses sitemaps added, and left out beyond their bounds.
  std::atomic<int> sitemapTaken{0};
  std::atomic<int> sitemapBeyond{0};
  // Addresses scripts named that were new; files read no further at
  // FoundNames' bound; addresses a file named that the file limit left out.
  std::atomic<int> named{0};
  std::atomic<int> namesCapped{0};
  std::atomic<int> beyondFileLimit{0};
  // Addresses guessed from scripts' strings, and those the site did not
  // have (an error, or a page where another kind of file was named).
  static constexpr int kMaxGuesses = 5000;
  std::atomic<int> guessed{0};
  std::atomic<int> guessesDropped{0};

  void Reset();
  void NoteRetried(int times);
  // What the run took from sitemaps and scripts, what it retried and what
  // the rules refused, a line each, as the log and the terminal's summary
  // give them.
  std::vector<std::string> Lines(const AdmissionRules* rules) const;
  // "took 12 addresses from the sitemap", "took 85 addresses named in
  // scripts", "retried 3 files, 5 times in all"; empty for none.
  std::string SitemapLine() const;
  std::string NamedLine() const;
  // "guessed 40 addresses from scripts' strings, 31 of them not on the site"
  std::string GuessLine() const;
  std::string RetryLine() const;
};

}  // namespace kestrine
