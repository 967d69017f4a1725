#include "engine/queue/admission_rules.h"

#include <algorithm>

#include <fnmatch.h>

#include <functional>

#include "runtime/string_utility.h"
#include "site/address/address.h"

namespace kestrine {

namespace {

std::uint64_t HashOf(std::u16string_view text) { return std::hash<std::u16string_view>{}(text); }

std::u16string_view WithoutQuery(std::u16string_view path) {
  return path.substr(0, std::min(path.find(u'?'), path.size()));
}

std::u16string_view HostOf(std::u16string_view address) {
  const std::u16string_view rest = address.substr(WebSchemeLength(address));
  return rest.substr(0, std::min(rest.find(u'/'), rest.size()));
}

std::string FileNameOf(std::u16string_view address) {
  const std::u16string_view path = WithoutQuery(AdmissionRules::PathOf(address));
  return StringUtility::ToUtf8(path.substr(path.rfind(u'/') + 1));
}

}  // namespace

AdmissionRules::AdmissionRules(DownloadOptions options, std::u16string sitePrefix,
                               std::u16string siteHost)
    : options_(std::move(options)),
      sitePrefix_(std::move(sitePrefix)),
      siteHost_(std::move(siteHost)) {}

std::u16string_view AdmissionRules::PathOf(std::u16string_view address) {
  const std::u16string_view rest = address.substr(WebSchemeLength(address));
  const std::size_t slash = rest.find(u'/');
  return slash == std::u16string_view::npos ? std::u16string_view(u"/") : rest.substr(slash);
}

bool AdmissionRules::IsPageLike(std::u16string_view address) {
  const std::u16string_view path = WithoutQuery(PathOf(address));
  const std::u16string_view name = path.substr(path.rfind(u'/') + 1);
  const std::size_t dot = name.rfind(u'.');
  if (name.empty() || dot == std::u16string_view::npos || dot == 0) return true;
  const std::u16string extension =
      StringUtility::ToLowerAscii(std::u16string(name.substr(dot + 1)));
  for (std::u16string_view page :
       {u"html", u"htm", u"xhtml", u"shtml", u"php", u"asp", u"aspx", u"jsp", u"cgi", u"pl"}) {
    if (extension == page) return true;
  }
  return false;
}

bool AdmissionRules::IsTooDeep(std::u16string_view path) {
  path = WithoutQuery(path);
  int folders = 0;
  for (std::size_t i = 1; i < path.size(); ++i) folders += path[i] == u'/' ? 1 : 0;
  return folders > kMaxFolders;
}

bool AdmissionRules::RepeatsASegment(std::u16string_view path) {
  path = WithoutQuery(path);
  std::unordered_map<std::u16string_view, int> seen;
  std::size_t start = 1;
  while (start < path.size()) {
    std::size_t end = path.find(u'/', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start && ++seen[path.substr(start, end - start)] > kMaxSegmentRepeats) return true;
    start = end + 1;
  }
  return false;
}

bool AdmissionRules::IsTooLong(std::u16string_view address) {
  return address.size() > kMaxAddressLength;
}

bool AdmissionRules::MatchesAny(const std::vector<std::string>& patterns, const std::string& text) {
  for (const std::string& pattern : patterns) {
    if (fnmatch(pattern.c_str(), text.c_str(), 0) == 0) return true;
  }
  return false;
}

bool AdmissionRules::HasTooManyQueries(std::u16string_view path) {
  const std::size_t question = path.find(u'?');
  if (question == std::u16string_view::npos) return false;
  return ++queriesPerPath_[HashOf(path.substr(0, question))] > kMaxQueriesPerPath;
}

bool AdmissionRules::IsFiltered(const std::u16string& address, bool page) const {
  const std::string whole = StringUtility::ToUtf8(address);
  if (!options_.include.empty() && !MatchesAny(options_.include, whole)) return true;
  if (MatchesAny(options_.exclude, whole)) return true;
  // Pages are always followed to find links; the name filters are for files.
  if (page) return false;
  const std::string name = FileNameOf(address);
  if (!options_.accept.empty() && !MatchesAny(options_.accept, name)) return true;
  return MatchesAny(options_.reject, name);
}

int AdmissionRules::ChainOf(std::u16string_view address, int namerChain) {
  return IsPageLike(address) ? 0 : namerChain + 1;
}

Refusal AdmissionRules::Check(const std::u16string& address, int depth, std::size_t waiting,
                              int chain) {
  const std::u16string_view path = PathOf(address);
  if (options_.trapRules) {
    if (IsTooLong(address)) return Refusal::TrapLength;
    if (IsTooDeep(path)) return Refusal::TrapDepth;
    if (RepeatsASegment(path)) return Refusal::TrapRepeats;
  }
  const bool page = IsPageLike(address);
  // Every address is held to the level: a page's own files one or two
  // beyond it, so the pages of the last level still show whole, but no
  // further, so files that each name the next end there.
  if (options_.level >= 0 && depth > options_.level + (page ? 0 : kRequisiteLevels)) {
    return Refusal::Level;
  }
  if (options_.trapRules && chain > kMaxChain) return Refusal::TrapChain;
  if (!options_.spanHosts && !StringUtility::EqualsIgnoreCaseAscii(HostOf(address), siteHost_)) {
    return Refusal::OtherHost;
  }
  if (page && !options_.externalPages && !IsUnderSitePrefix(address, sitePrefix_)) {
    return Refusal::ExternalPage;
  }
  if (IsFiltered(address, page)) return Refusal::Filtered;
  if (!robots_.empty() && HostOf(address) == siteHost_ &&
      !robots_.Allows(StringUtility::ToUtf8(path))) {
    return Refusal::Robots;
  }
  if (IsBeyondFileLimit(waiting)) return Refusal::FileLimit;
  if (options_.trapRules && HasTooManyQueries(path)) return Refusal::TrapQueries;
  return Refusal::None;
}

// Addresses enough to reach --max-files wait already; more would only be
// kept to be written as web addresses when the run ends. One that is
// refused now is taken when a later page names it and there is room.
bool AdmissionRules::IsBeyondFileLimit(std::size_t waiting) const {
  if (options_.maxFiles <= 0) return false;
  const int stored = storedFiles_ != nullptr ? storedFiles_->load() : 0;
  return waiting >= static_cast<std::size_t>(std::max(0, options_.maxFiles - stored));
}

Refusal AdmissionRules::Decide(const std::u16string& address, int depth, std::size_t waiting,
                               int chain) {
  const Refusal reason = Check(address, depth, waiting, chain);
  if (reason != Refusal::None && refused_.insert(HashOf(address)).second) {
    ++counts_[static_cast<int>(reason)];
  }
  return reason;
}

std::string AdmissionRules::Describe(Refusal reason, int count) {
  const std::string skipped =
      "skipped " + StringUtility::WithThousands(count) + " address" + (count == 1 ? "" : "es");
  switch (reason) {
    case Refusal::Level:
      return skipped + " deeper than the link level";
    case Refusal::ExternalPage:
      return skipped + " of pages outside the site";
    case Refusal::OtherHost:
      return skipped + " on other hosts";
    case Refusal::Filtered:
      return skipped + " left out by --accept, --reject, --include or --exclude";
    case Refusal::Robots:
      return skipped + " that the site's robots.txt asks robots to leave alone";
    case Refusal::TrapDepth:
      return skipped + " that looked like a crawler trap (more than 32 folders deep)";
    case Refusal::TrapRepeats:
      return skipped + " that looked like a crawler trap (a folder repeated more than 3 times)";
    case Refusal::TrapLength:
      return skipped + " that looked like a crawler trap (longer than 2,048 characters)";
    case Refusal::TrapQueries:
      return skipped + " that looked like a crawler trap (over 1,000 query strings on one path)";
    case Refusal::FileLimit:
      return skipped + " beyond the file limit";
    case Refusal::TrapChain:
      return skipped +
             " that looked like a crawler trap (more than 16 files in a row, each named by the "
             "one before)";
    default:
      return {};
  }
}

}  // namespace kestrine
