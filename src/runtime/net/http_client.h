#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoding/charset_sniffer.h"
#include "runtime/net/i_download_status.h"

namespace kestrine {

// Fetches one address straight into a local file. Used once per download on
// a worker thread: SetTimeout, SetDownloadStatus, SinkToFile, Navigate2, then
// the getters. A caller that rewrites pages and style sheets asks for them
// to be held (HoldTextBodies): such a body up to a few megabytes then stays
// in memory after Navigate2, and its file is written by StoreText (the
// rewritten bytes) or StoreBody (the body as received).
//
// GetReturnCode is the server's status code for a transfer that completed.
// A transfer that did not complete answers a code of 400 or above, so a
// caller that judges by the code never takes a partial file for a whole one:
//   499  stopped because ShouldStop answered nonzero
//   502  no connection, refused or reset, truncated or malformed response,
//        a redirect to a scheme other than http and https, or a body that
//        decompressed beyond its bound
//   504  timed out: connecting took longer than the time-out, or for a whole
//        time-out fewer than 1 KB per second arrived
//   507  the local file could not be written (disk full)
//   508  more than 20 redirects
//   400  an address that cannot be requested at all
//   413  the body is larger than the file size limit
//   408  the transfer took longer than its time limit
class HttpClient {
 public:
  // What kind of thing ended a transfer that did not complete, for callers
  // that act on it (a retry, say): the reason text says it to a person.
  enum class Failure {
    None,               // the transfer completed (whatever its status)
    Stopped,            // ShouldStop answered nonzero
    ConnectionRefused,  // nobody listens there
    HostNotFound,
    ConnectionLost,  // reset, cut short, malformed or empty, a stream refused
    TimedOut,        // connecting, or too little arriving for too long
    Tls,             // a handshake or a certificate that failed
    TooLarge,        // beyond the file size limit
    TookTooLong,     // beyond the time limit of one transfer
    LocalWrite,      // the local file could not be written
    TooManyRedirects,
    BadAddress,
    Other,
  };

  static constexpr int kStopped = 499;
  static constexpr int kNoConnection = 502;
  static constexpr int kTimedOut = 504;
  static constexpr int kLocalWriteFailed = 507;
  static constexpr int kTooManyRedirects = 508;
  static constexpr int kBadAddress = 400;
  static constexpr int kTooLarge = 413;
  static constexpr int kTookTooLong = 408;

  // Starts the network layer once per process; false when it cannot start.
  static bool GlobalInit();

  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  void SetTimeout(int milliseconds);
  void SetDownloadStatus(IDownloadStatus* status);
  // How requests are made beyond the defaults.
  struct RequestOptions {
    // Certificates are checked against the system's trust store, plus this
    // PEM file when given; checkCertificate false accepts any.
    std::string caCertificate;
    bool checkCertificate = true;
    std::string userAgent;             // empty: libcurl's own
    std::vector<std::string> headers;  // "Name: value"
    std::string cookieFile;            // Netscape format, read only
    std::int64_t maxReceiveSpeed = 0;  // bytes per second; 0: no limit
    std::int64_t maxFileSize = 0;      // bytes; 0: no limit
    int maxTimeSeconds = 0;            // for the whole transfer; 0: no limit
  };
  void SetRequestOptions(RequestOptions options);
  // Opens (creates or truncates) the file the body goes to, never through a
  // symbolic link. Throws FileException when it cannot be opened.
  void SinkToFile(const std::u16string& path);
  // The body goes to this open file, which the client closes when the body
  // is stored. `shownPath` names it in messages.
  void SinkToDescriptor(int fd, const std::u16string& shownPath);
  // The body stays in memory, at most `maxBytes` of it: a longer one ends
  // there, and the transfer counts as complete with what arrived.
  void SinkToMemory(std::size_t maxBytes);
  // The body kept by SinkToMemory.
  const std::string& GetMemoryBody() const;
  void HoldTextBodies(bool hold);
  // Transfers the address; returns once the body is in the closed file, or
  // held in memory (see above). Throws FileException when no sink file is
  // open.
  bool Navigate2(const std::u16string& address, int flags, int reserved);
  // Makes ready to ask again after a try that did not succeed: whatever
  // the try received is dropped. False when the sink file cannot be
  // emptied.
  bool PrepareRetry();
  // Writes a held body to the sink file and closes it; nothing more for a
  // body already there. False when it cannot be written.
  bool StoreBody();
  // Puts these bytes in the sink file instead of the body, held or not.
  bool StoreText(const std::string& bytes);

  // The announced length in bytes; 0 when none was announced.
  std::int64_t GetContentLength() const;
  int GetReturnCode() const;
  // The value of a response header of the final response, matched ignoring
  // case; empty when absent.
  std::string GetHeaderValue(const std::string& name) const;
  // The final address after redirects.
  std::u16string GetLocationURL() const;
  // The body as text, decoded from the charset the client found.
  const std::u16string& GetSource();
  // The body's bytes as received (after any transfer encoding).
  std::string GetBody() const;
  // The charset name under which GetSource decoded the body.
  std::string GetCharset();

  // Whether the answer came over a multiplexed connection (HTTP/2 or 3).
  bool WasMultiplexed() const;
  // Why the last transfer did not complete; None when it did.
  Failure GetFailure() const;
  // Whether a response status arrived at all: a transfer lost before it
  // was never answered.
  bool GotResponse() const;
  // Whether transfers to this address's host go over a multiplexed
  // connection; a request lost there before its answer was most likely
  // one the server never processed (refused, or beyond a GOAWAY).
  bool HostMultiplexes() const;
  // The host of the last transfer asked for fewer requests (429): it gets
  // half as many at once from now on.
  void ThrottleHost();
  // Bytes of the body received.
  std::int64_t GetReceivedBytes() const;
  // Why a transfer did not succeed, in a few words ("HTTP 404", "connection
  // refused", "timed out after 30 s", "certificate not trusted"); empty for
  // a code below 400.
  std::string GetFailureReason() const;

  struct Transfer;

 private:
  const DecodedBody& Decoded();

  std::unique_ptr<Transfer> transfer_;
  std::optional<DecodedBody> decoded_;
};

}  // namespace kestrine
