#include "viewer/http_message.h"

#include "runtime/string_utility.h"

namespace kestrine {

namespace {

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    if (!ok) return false;
  }
  return true;
}

bool HasControl(std::string_view text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
  }
  return false;
}

bool SameName(std::string_view a, std::string_view b) {
  return StringUtility::ToLowerAscii(std::string(a)) == StringUtility::ToLowerAscii(std::string(b));
}

// "GET /path HTTP/1.1"
bool ParseRequestLine(std::string_view line, HttpRequest& request) {
  const std::size_t first = line.find(' ');
  const std::size_t second = line.rfind(' ');
  if (first == std::string_view::npos || second == first) return false;
  request.method = std::string(line.substr(0, first));
  request.target = std::string(line.substr(first + 1, second - first - 1));
  const std::string_view version = line.substr(second + 1);
  if (!IsToken(request.method) || request.target.empty() || HasControl(request.target) ||
      request.target.find(' ') != std::string::npos || version.size() != 8 ||
      !version.starts_with("HTTP/1.") || (version[7] != '0' && version[7] != '1')) {
    return false;
  }
  request.minorVersion = version[7] - '0';
  return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (SameName(key, name)) return value;
  }
  return {};
}

bool HttpRequest::HasHeader(std::string_view name) const {
  for (const auto& header : headers) {
    if (SameName(header.first, name)) return true;
  }
  return false;
}

void HttpResponse::SetHeader(std::string name, std::string value) {
  for (auto& header : headers) {
    if (SameName(header.first, name)) {
      header.second = std::move(value);
      return;
    }
  }
  headers.emplace_back(std::move(name), std::move(value));
}

std::optional<HttpRequest> ParseRequestHead(std::string_view head, std::size_t maxHeaders) {
  HttpRequest request;
  std::size_t at = 0;
  bool first = true;
  while (at < head.size()) {
    std::size_t end = head.find('\n', at);
    if (end == std::string_view::npos) end = head.size();
    std::string_view line = head.substr(at, end - at);
    at = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (first) {
      if (!ParseRequestLine(line, request)) return std::nullopt;
      first = false;
      continue;
    }
    const std::size_t colon = line.find(':');
    // A folded line or a name with blanks is refused, as RFC 9112 asks.
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return std::nullopt;
    const std::string_view value = line.substr(colon + 1);
    if (HasControl(value) || request.headers.size() >= maxHeaders) return std::nullopt;
    request.headers.emplace_back(std::string(line.substr(0, colon)),
                                 StringUtility::TrimAscii(std::string(value)));
  }
  if (first) return std::nullopt;
  return request;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 416:
      return "Range Not Satisfiable";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Unknown";
  }
}

}  // namespace kestrine
