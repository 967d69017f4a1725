#include "site/rules/robots_rules.h"

#include <sstream>

#include "runtime/string_utility.h"

namespace kestrine {

namespace {

struct Line {
  std::string field;  // lower case
  std::string value;
};

Line Split(std::string line) {
  if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos) return {};
  return {StringUtility::ToLowerAscii(StringUtility::TrimAscii(line.substr(0, colon))),
          StringUtility::TrimAscii(line.substr(colon + 1))};
}

// The product token of a user agent ("kestrine" of "Kestrine/2.0").
std::string ProductToken(const std::string& userAgent) {
  const std::string lower = StringUtility::ToLowerAscii(userAgent);
  return lower.substr(0, lower.find_first_of("/ "));
}

}  // namespace

std::vector<std::string> RobotsRules::SitemapsIn(const std::string& text) {
  std::vector<std::string> sitemaps;
  std::istringstream in(text);
  for (std::string raw; std::getline(in, raw);) {
    const std::size_t colon = raw.find(':');
    if (colon == std::string::npos) continue;
    if (StringUtility::ToLowerAscii(StringUtility::TrimAscii(raw.substr(0, colon))) != "sitemap") {
      continue;
    }
    const std::string value = StringUtility::TrimAscii(raw.substr(colon + 1));
    if (!value.empty()) sitemaps.push_back(value);
  }
  return sitemaps;
}

RobotsRules RobotsRules::Parse(const std::string& text, const std::string& userAgent) {
  const std::string token = ProductToken(userAgent);
  RobotsRules named;
  RobotsRules anyone;
  bool namedSeen = false;
  // The agents of the group being read; a rule line after agent lines ends
  // the list, so the next agent line starts a new group.
  bool forUs = false;
  bool forAnyone = false;
  bool inRules = false;
  std::istringstream in(text);
  for (std::string raw; std::getline(in, raw);) {
    const Line line = Split(raw);
    if (line.field == "user-agent") {
      if (inRules) forUs = forAnyone = inRules = false;
      const std::string agent = StringUtility::ToLowerAscii(line.value);
      if (agent == "*") forAnyone = true;
      if (!token.empty() && agent.find(token) != std::string::npos) forUs = namedSeen = true;
    } else if (line.field == "allow" || line.field == "disallow") {
      inRules = true;
      // "Disallow:" with nothing after it allows everything.
      if (line.value.empty()) continue;
      const Rule rule{line.value, line.field == "allow"};
      if (forUs) named.rules_.push_back(rule);
      if (forAnyone) anyone.rules_.push_back(rule);
    }
  }
  return namedSeen ? named : anyone;
}

bool RobotsRules::Matches(const std::string& pattern, const std::string& path) {
  // Glob matching of "*" with a "$" anchor at the end, by backtracking over
  // the last star only, so it stays linear for the usual short patterns.
  const bool anchored = !pattern.empty() && pattern.back() == '$';
  const std::string p = anchored ? pattern.substr(0, pattern.size() - 1) : pattern;
  std::size_t i = 0;
  std::size_t j = 0;
  std::size_t star = std::string::npos;
  std::size_t mark = 0;
  while (j < path.size()) {
    if (i < p.size() && p[i] == '*') {
      star = i++;
      mark = j;
    } else if (i < p.size() && p[i] == path[j]) {
      ++i;
      ++j;
    } else if (i == p.size() && !anchored) {
      return true;
    } else if (star != std::string::npos) {
      i = star + 1;
      j = ++mark;
    } else {
      return false;
    }
  }
  while (i < p.size() && p[i] == '*') ++i;
  return i == p.size();
}

bool RobotsRules::Allows(const std::string& path) const {
  std::size_t best = 0;
  bool allowed = true;
  bool any = false;
  for (const Rule& rule : rules_) {
    if (!Matches(rule.pattern, path)) continue;
    const std::size_t length = rule.pattern.size();
    if (!any || length > best || (length == best && rule.allow)) {
      best = length;
      allowed = rule.allow;
      any = true;
    }
  }
  return allowed;
}

}  // namespace kestrine
