#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/unique_fd.h"

namespace kestrine {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A request as the viewer's server read it: the head only, never a body.
struct HttpRequest {
  std::string method;
  std::string target;  // path and query, as sent
  int minorVersion = 1;
  HeaderList headers;
  int serverPort = 0;  // the port it came to

  // The value of the first header of that name (any case); empty if none.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
};

// What the server sends back: a status, headers, and a body given as bytes
// or as an open file of a known size (sent as it is read).
struct HttpResponse {
  int status = 404;
  HeaderList headers;
  std::string body;
  UniqueFd file;
  std::uint64_t fileOffset = 0;  // where the bytes sent begin
  std::uint64_t fileSize = 0;    // how many are sent

  void SetHeader(std::string name, std::string value);
};

// Reads a request head (up to and without its blank line) under the
// bounds the server sets. Nothing when it is no HTTP/1.x head.
std::optional<HttpRequest> ParseRequestHead(std::string_view head, std::size_t maxHeaders);

// The reason phrase of the statuses the viewer sends.
const char* ReasonPhrase(int status);

}  // namespace kestrine
