#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrine {

// A site's robots.txt as it applies to one user agent: the Allow and
// Disallow lines of the group that names the agent (or of "*"), with "*"
// wildcards and "$" anchors; the longest matching rule wins, and Allow wins
// a tie. Anything that cannot be read allows everything.
class RobotsRules {
 public:
  RobotsRules() = default;
  static RobotsRules Parse(const std::string& text, const std::string& userAgent);
  // The addresses of the site's sitemaps that its "Sitemap:" lines name.
  static std::vector<std::string> SitemapsIn(const std::string& text);

  // `path` is the address's path and query, starting with "/".
  bool Allows(const std::string& path) const;
  bool empty() const { return rules_.empty(); }

 private:
  // A pattern as it is matched: the text before its first "*", the texts
  // after each of its stars (none without a star), and whether "$" ends it.
  struct Rule {
    std::size_t length;  // as written: the longest matching rule wins
    bool allow;
    bool anchored;
    std::string prefix;
    std::vector<std::string> segments;
  };
  static Rule Compile(const std::string& pattern, bool allow);
  static bool Matches(const Rule& rule, const std::string& path);
  void Add(const std::string& pattern, bool allow);

  std::vector<Rule> rules_;
  // The rules by the hash of their prefix, and the lengths their prefixes
  // have: an address is checked against the rules whose prefix it starts
  // with, not against every rule of a long robots.txt.
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> byPrefix_;
  std::vector<std::size_t> prefixLengths_;
};

}  // namespace kestrine
