#include "engine/run/run_tally.h"

#include "engine/queue/admission_rules.h"
#include "runtime/string_utility.h"
#include "site/script/found_names.h"

namespace kestrine {

namespace {

std::string Counted(int count, const char* one, const char* many) {
  return StringUtility::WithThousands(count) + " " + (count == 1 ? one : many);
}

// "took 12 addresses from the sitemap", or nothing for none.
std::string Took(int count, const char* whence) {
  if (count == 0) return {};
  return "took " + Counted(count, "address", "addresses") + " " + whence;
}

}  // namespace

void RunTally::Reset() {
  for (std::atomic<int>* counter :
       {&succeeded, &failed, &unwritable, &retriedFiles, &retries, &unchanged, &changed, &added,
        &gone, &sitemapTaken, &sitemapBeyond, &named, &namesCapped, &beyondFileLimit, &rendered,
        &guessed, &guessesDropped}) {
    *counter = 0;
  }
  bytes = 0;
  failures.Clear();
}

void RunTally::NoteRetried(int times) {
  ++retriedFiles;
  retries += times;
}

std::string RunTally::SitemapLine() const { return Took(sitemapTaken, "from the sitemap"); }

std::string RunTally::NamedLine() const { return Took(named, "named in scripts"); }

std::string RunTally::GuessLine() const {
  if (guessed == 0) return {};
  std::string line =
      "guessed " + Counted(guessed, "address", "addresses") + " from scripts' strings";
  if (guessesDropped > 0) {
    line += ", " + StringUtility::WithThousands(guessesDropped) + " of them not on the site";
  }
  return line;
}

std::string RunTally::RetryLine() const {
  if (retriedFiles == 0) return {};
  return "retried " + Counted(retriedFiles, "file", "files") + ", " +
         Counted(retries, "time", "times") + " in all";
}

std::vector<std::string> RunTally::Lines(const AdmissionRules* rules) const {
  std::vector<std::string> lines;
  const auto add = [&lines](std::string line) {
    if (!line.empty()) lines.push_back(std::move(line));
  };
  add(RetryLine());
  add(SitemapLine());
  if (sitemapBeyond > 0) {
    add("skipped " + Counted(sitemapBeyond, "address", "addresses") +
        " of sitemaps beyond their bounds (50,000 a sitemap, 500,000 in all)");
  }
  add(NamedLine());
  add(GuessLine());
  if (rendered > 0) add("rendered " + Counted(rendered, "page", "pages") + " in a browser");
  if (namesCapped > 0) {
    add("stopped reading " + Counted(namesCapped, "file", "files") + " at " +
        StringUtility::WithThousands(FoundNames::kMaxNames) + " named addresses each");
  }
  if (rules == nullptr) return lines;
  for (int reason = 1; reason < static_cast<int>(Refusal::Count); ++reason) {
    const auto refusal = static_cast<Refusal>(reason);
    const int count =
        rules->Refused(refusal) + (refusal == Refusal::FileLimit ? beyondFileLimit.load() : 0);
    if (count > 0) add(AdmissionRules::Describe(refusal, count));
  }
  return lines;
}

}  // namespace kestrine
