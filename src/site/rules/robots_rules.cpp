#include "site/rules/robots_rules.h"

#include <string.h>

#include <algorithm>
#include <sstream>
#include <string_view>

#include "runtime/fnv_hash.h"
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
      if (forUs) named.Add(line.value, line.field == "allow");
      if (forAnyone) anyone.Add(line.value, line.field == "allow");
    }
  }
  return namedSeen ? named : anyone;
}

RobotsRules::Rule RobotsRules::Compile(const std::string& pattern, bool allow) {
  Rule rule{pattern.size(), allow, !pattern.empty() && pattern.back() == '$', {}, {}};
  const std::string_view body =
      std::string_view(pattern).substr(0, pattern.size() - (rule.anchored ? 1 : 0));
  const std::size_t star = body.find('*');
  rule.prefix = body.substr(0, star);
  if (star == std::string_view::npos) return rule;
  for (std::size_t at = star + 1;;) {
    const std::size_t next = body.find('*', at);
    const std::string_view segment = body.substr(at, next - at);
    // A run of stars is one star.
    if (!segment.empty() || next == std::string_view::npos) rule.segments.emplace_back(segment);
    if (next == std::string_view::npos) break;
    at = next + 1;
  }
  return rule;
}

// A "*" matches any run of characters, so each text between stars is taken
// where it first occurs after the one before: the leftmost place leaves the
// most room for the rest. Linear in the path and the pattern, where going
// back over the last star cost their product.
bool RobotsRules::Matches(const Rule& rule, const std::string& path) {
  if (path.compare(0, rule.prefix.size(), rule.prefix) != 0) return false;
  if (rule.segments.empty()) return !rule.anchored || path.size() == rule.prefix.size();
  std::size_t at = rule.prefix.size();
  for (std::size_t i = 0; i < rule.segments.size(); ++i) {
    const std::string& segment = rule.segments[i];
    if (rule.anchored && i + 1 == rule.segments.size()) {
      return path.size() >= at + segment.size() &&
             path.compare(path.size() - segment.size(), segment.size(), segment) == 0;
    }
    const void* found = memmem(path.data() + at, path.size() - at, segment.data(), segment.size());
    if (found == nullptr) return false;
    at = static_cast<std::size_t>(static_cast<const char*>(found) - path.data()) + segment.size();
  }
  return true;
}

void RobotsRules::Add(const std::string& pattern, bool allow) {
  Rule rule = Compile(pattern, allow);
  FnvHash hash;
  for (char c : rule.prefix) hash.Add(static_cast<unsigned char>(c));
  const auto length =
      std::lower_bound(prefixLengths_.begin(), prefixLengths_.end(), rule.prefix.size());
  if (length == prefixLengths_.end() || *length != rule.prefix.size()) {
    prefixLengths_.insert(length, rule.prefix.size());
  }
  byPrefix_[hash.value()].push_back(static_cast<std::uint32_t>(rules_.size()));
  rules_.push_back(std::move(rule));
}

bool RobotsRules::Allows(const std::string& path) const {
  std::size_t best = 0;
  bool allowed = true;
  bool any = false;
  FnvHash hash;
  std::size_t hashed = 0;
  for (const std::size_t length : prefixLengths_) {
    if (length > path.size()) break;
    for (; hashed < length; ++hashed) hash.Add(static_cast<unsigned char>(path[hashed]));
    const auto candidates = byPrefix_.find(hash.value());
    if (candidates == byPrefix_.end()) continue;
    for (const std::uint32_t index : candidates->second) {
      const Rule& rule = rules_[index];
      if (!Matches(rule, path)) continue;
      if (!any || rule.length > best || (rule.length == best && rule.allow)) {
        best = rule.length;
        allowed = rule.allow;
        any = true;
      }
    }
  }
  return allowed;
}

}  // namespace kestrine
