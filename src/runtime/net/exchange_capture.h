#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encoding/chunked_decoder.h"
#include "encoding/digest.h"
#include "runtime/net/captured_exchange.h"

typedef void CURL;

namespace kestrine {

// Collects the exchanges of a transfer from what libcurl shows its debug
// callback: the request head as sent, each line of the response head and
// the body bytes before libcurl takes off chunking and content coding. A
// new request (a redirect followed, another try) ends the exchange before
// it.
class ExchangeCapture {
 public:
  // The request `easy` is about to send, as libcurl shows it.
  void RequestSent(CURL* easy, std::string_view head);
  void ResponseHeaderLine(CURL* easy, std::string_view line);
  void BodyBytes(std::string_view bytes);
  // The transfer ended; `whole` when it ended without an error.
  void TransferEnded(bool whole);
  std::vector<CapturedExchange> Take();

 private:
  void EndExchange(bool whole);
  void StartBody();

  std::vector<CapturedExchange> done_;
  std::unique_ptr<CapturedExchange> current_;
  bool headDone_ = false;
  bool bodyStarted_ = false;
  std::optional<Digest> block_;
  std::optional<Digest> payload_;
  std::unique_ptr<ChunkedDecoder> chunks_;
};

}  // namespace kestrine
