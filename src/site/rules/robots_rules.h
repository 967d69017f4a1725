#pragma once

#include <string>
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
  struct Rule {
    std::string pattern;
    bool allow;
  };
  static bool Matches(const std::string& pattern, const std::string& path);

  std::vector<Rule> rules_;
};

}  // namespace kestrine
