#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/net/captured_exchange.h"
#include "runtime/net/content_kind.h"
#include "runtime/net/i_download_status.h"
#include "runtime/result.h"

namespace kestrine {

class TransferEngine;

// Fetches one address into a local file or into memory. Used once per
// download on a worker thread: the options and the sink, Navigate2, then
// the getters; a try that failed may be made again (PrepareRetry). A caller
// that reads pages and scripts asks for them to be held (HoldTextBodies):
// such a body stays in memory after Navigate2, within a budget shared by
// every transfer, and its file is written by StoreText (new bytes) or
// StoreBody (the bytes as received).
//
// A transfer completes with the server's status, whatever it is, or fails
// with a Failure and its reason; a caller that judges by Succeeded() never
// takes a partial file for a whole one.
class HttpClient {
 public:
  // What kind of thing ended a transfer that did not complete, for callers
  // that act on it (a retry, say): the reason text says it to a person.
  enum class Failure {
    None,               // the transfer completed (whatever its status)
    Stopped,            // ShouldStop answered nonzero, or the engine was stopped
    ConnectionRefused,  // nobody listens there
    HostNotFound,
    ConnectionLost,  // reset, cut short, malformed or empty, a stream refused
    TimedOut,        // connecting, or too little arriving for too long
    Tls,             // a handshake or a certificate that failed
    TooLarge,        // beyond the file size limit
    TookTooLong,     // beyond the time limit of one transfer
    LocalWrite,      // the local file could not be written (or there is none)
    TooManyRedirects,
    BadAddress,
    Other,
  };

  // Starts the network layer once per process; false when it cannot start.
  static bool GlobalInit();

  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  void SetTimeout(int milliseconds);
  void SetDownloadStatus(IDownloadStatus* status);
  // The run's transfer engine, which keeps each host to its connections and
  // multiplexes over HTTP/2; without one the client makes its own
  // connections.
  void SetTransferEngine(TransferEngine* engine);
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
  // symbolic link.
  Status SinkToFile(const std::u16string& path);
  // The body goes to this open file, which the client closes when the body
  // is stored. `shownPath` names it in messages.
  void SinkToDescriptor(int fd, const std::u16string& shownPath);
  // The body stays in memory, at most `maxBytes` of it: a longer one ends
  // there, and the transfer counts as complete with what arrived.
  void SinkToMemory(std::size_t maxBytes);
  // The body kept by SinkToMemory, or a held body.
  const std::string& GetMemoryBody() const;
  void HoldTextBodies(bool hold);
  // Keeps every exchange of the transfers to come as it crossed the wire,
  // for a web archive; TakeExchanges hands them over.
  void CaptureExchanges(bool capture);
  std::vector<CapturedExchange> TakeExchanges();
  // Transfers the address; returns once the body is in the closed file, or
  // held in memory (see above). True when it completed with a status below
  // 400.
  bool Navigate2(const std::u16string& address);
  // Makes ready to ask again after a try that did not succeed: whatever
  // the try received is dropped. False when the sink file cannot be
  // emptied.
  bool PrepareRetry();
  // Writes a held body to the sink file and closes it; nothing more for a
  // body already there. False when it cannot be written.
  bool StoreBody();
  // Puts these bytes in the sink file instead of the body, held or not.
  bool StoreText(const std::string& bytes);

  // True when the last transfer completed with a status below 400.
  bool Succeeded() const;
  // The announced length in bytes; 0 when none was announced.
  std::int64_t GetContentLength() const;
  // The status of the last response; 0 when none came.
  int GetReturnCode() const;
  // Why the last transfer did not complete; None when it did.
  Failure GetFailure() const;
  // Why a transfer did not succeed, in a few words ("HTTP 404", "connection
  // refused", "timed out after 30 s", "certificate not trusted"); empty when
  // it succeeded.
  std::string GetFailureReason() const;
  // The value of a response header of the final response, matched ignoring
  // case; empty when absent.
  std::string GetHeaderValue(const std::string& name) const;
  // What the final response is, by its Content-Type.
  ContentKind GetContentKind() const;
  // The final address after redirects.
  std::u16string GetLocationURL() const;
  // The body's bytes as received (after any transfer encoding).
  std::string GetBody() const;
  // Whether the body waits in memory (GetMemoryBody) rather than in the
  // file.
  bool IsBodyHeld() const;
  // Drops a held body's bytes: its reader has what it needs (StoreText
  // comes next).
  void DropHeldBody();

  // Whether the answer came over a multiplexed connection (HTTP/2 or 3).
  bool WasMultiplexed() const;
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

  struct Transfer;

 private:
  std::unique_ptr<Transfer> transfer_;
};

}  // namespace kestrine
