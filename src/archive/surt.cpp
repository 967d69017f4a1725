#include "archive/surt.h"

#include <algorithm>
#include <vector>

#include "runtime/string_utility.h"

namespace kestrine {

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string UnescapeOnce(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Unescaped until nothing changes, within a bound a hostile address cannot
// pass.
std::string UnescapeRepeatedly(std::string text) {
  for (int round = 0; round < 16; ++round) {
    std::string once = UnescapeOnce(text);
    if (once == text) break;
    text = std::move(once);
  }
  return text;
}

// What the canonicaliser leaves as it is; every other byte is escaped.
bool IsSafe(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!\"$&'()*+,-./:;<=>?@[\\]^_`{|}~").find(static_cast<char>(c)) !=
         std::string_view::npos;
}

std::string EscapeOnce(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (IsSafe(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// "." and ".." resolved, empty segments dropped but for the last.
std::string NormalPath(std::string_view path) {
  if (path.empty()) return "/";
  std::vector<std::string_view> kept;
  std::size_t at = path[0] == '/' ? 1 : 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    const std::string_view part = path.substr(at, slash - at);
    if (part == "..") {
      if (kept.empty()) {
        kept.push_back(part);
      } else {
        kept.pop_back();
      }
    } else if (part != ".") {
      kept.push_back(part);
    }
    at = slash + 1;
  }
  std::string out = "/";
  for (std::size_t i = 0; i + 1 < kept.size(); ++i) {
    if (!kept[i].empty()) out.append(kept[i]).append("/");
  }
  if (!kept.empty()) out.append(kept.back());
  return out;
}

std::string SortedQuery(const std::string& query) {
  std::vector<std::string> arguments;
  std::size_t at = 0;
  while (at <= query.size()) {
    const std::size_t amp = std::min(query.find('&', at), query.size());
    arguments.push_back(query.substr(at, amp - at));
    at = amp + 1;
  }
  std::stable_sort(arguments.begin(), arguments.end(), [](const auto& a, const auto& b) {
    return a.substr(0, a.find('=')) < b.substr(0, b.find('='));
  });
  std::string out;
  for (const std::string& argument : arguments) {
    if (!out.empty()) out += '&';
    out += argument;
  }
  return out;
}

std::string ReversedHost(const std::string& host) {
  std::string key;
  std::size_t end = host.size();
  while (true) {
    const std::size_t dot = host.rfind('.', end == 0 ? 0 : end - 1);
    const std::size_t start = dot == std::string::npos || end == 0 ? 0 : dot + 1;
    if (!key.empty()) key += ',';
    key.append(host, start, end - start);
    if (dot == std::string::npos || start == 0) break;
    end = dot;
  }
  return key;
}

}  // namespace

std::string Surt::KeyOf(std::string_view url) {
  const std::size_t colon = url.find("://");
  if (colon == std::string_view::npos) return std::string(url);
  const std::string scheme = StringUtility::ToLowerAscii(std::string(url.substr(0, colon)));
  if (scheme != "http" && scheme != "https") return std::string(url);
  std::string_view rest = url.substr(colon + 3);
  rest = rest.substr(0, rest.find('#'));
  const std::size_t pathAt = std::min(rest.find_first_of("/?"), rest.size());
  std::string_view authority = rest.substr(0, pathAt);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string host(authority);
  std::string port;
  if (const std::size_t portColon = host.rfind(':');
      portColon != std::string::npos && host.find(']', portColon) == std::string::npos) {
    port = host.substr(portColon + 1);
    host.resize(portColon);
  }
  if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443")) port.clear();
  host = EscapeOnce(StringUtility::ToLowerAscii(UnescapeRepeatedly(host)));
  while (!host.empty() && host.front() == '.') host.erase(0, 1);
  while (!host.empty() && host.back() == '.') host.pop_back();
  if (host.rfind("www", 0) == 0) {
    std::size_t digits = 3;
    while (digits < host.size() && host[digits] >= '0' && host[digits] <= '9') ++digits;
    if (digits < host.size() && host[digits] == '.') host.erase(0, digits + 1);
  }
  const std::string_view pathAndQuery = rest.substr(pathAt);
  const std::size_t question = pathAndQuery.find('?');
  std::string path = StringUtility::ToLowerAscii(
      EscapeOnce(NormalPath(UnescapeRepeatedly(std::string(pathAndQuery.substr(0, question))))));
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  std::string key = ReversedHost(host);
  if (!port.empty()) key += ":" + port;
  key += ")" + path;
  if (question != std::string_view::npos) {
    const std::string query = StringUtility::ToLowerAscii(
        EscapeOnce(UnescapeRepeatedly(std::string(pathAndQuery.substr(question + 1)))));
    if (!query.empty()) key += "?" + SortedQuery(query);
  }
  return key;
}

}  // namespace kestrine
