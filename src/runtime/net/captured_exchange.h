#pragma once

#include <string>

#include "runtime/fs/spill_buffer.h"

namespace kestrine {

// One HTTP request and its response as they crossed the wire, for a web
// archive: the request as sent, the response's head and body as received
// (chunk framing and content coding kept), in HTTP/1.1 message form even
// when they went over HTTP/2. Each hop of a redirect and each try is an
// exchange of its own.
struct CapturedExchange {
  std::string targetUri;
  std::string date;  // when the request went, UTC, to the microsecond
  std::string ipAddress;
  std::string protocol;      // "h2" or "h2c" over HTTP/2, empty otherwise
  std::string requestHead;   // request line, headers and the empty line
  std::string responseHead;  // status line, headers and the empty line
  SpillBuffer body;
  int status = 0;
  // Over the head and body as kept, and over the body without its
  // transfer coding: "sha1:" and base32.
  std::string blockDigest;
  std::string payloadDigest;
  // The whole response came; otherwise it was cut short (a time-out, a
  // stop, a lost connection).
  bool complete = false;
};

}  // namespace kestrine
