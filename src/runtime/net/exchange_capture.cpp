#include "runtime/net/exchange_capture.h"

#include <curl/curl.h>

#include <cstdint>

#include "runtime/http_head.h"
#include "runtime/wall_clock.h"

namespace kestrine {

namespace {

// HTTP/2 as an archive writes it: an HTTP/1.1 message. The request line
// ends "HTTP/2"; the status line has no reason phrase and keeps its space.
std::string AsHttp11RequestHead(std::string_view head) {
  const std::size_t lineEnd = head.find("\r\n");
  const std::string_view line = head.substr(0, lineEnd);
  if (!line.ends_with(" HTTP/2")) return std::string(head);
  return std::string(line.substr(0, line.size() - 6)) + "HTTP/1.1" +
         std::string(head.substr(std::min(lineEnd, head.size())));
}

bool IsStatusLine(std::string_view line) { return line.starts_with("HTTP/"); }

int StatusOf(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos || space + 4 > line.size()) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  return status;
}

// A body shorter than its Content-Length was cut short (or, after a
// redirect, not read at all).
// The number the text begins with; 0 when it does not, at most 2^53.
std::uint64_t DigitsValue(std::string_view text) {
  std::uint64_t value = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9' || value > (1ULL << 53) / 10) break;
    value = value * 10 + static_cast<std::uint64_t>(digit - '0');
  }
  return value;
}

bool BodyHasItsLength(const CapturedExchange& exchange) {
  const std::string_view value = HttpHead::Field(exchange.responseHead, "Content-Length");
  if (value.empty()) return true;
  return exchange.body.size() == DigitsValue(value);
}

std::string InfoText(CURL* easy, CURLINFO what) {
  char* value = nullptr;
  if (curl_easy_getinfo(easy, what, &value) != CURLE_OK || value == nullptr) return {};
  return value;
}

}  // namespace

void ExchangeCapture::RequestSent(CURL* easy, std::string_view head) {
  // A request goes with no response to the last one only when the
  // connection failed before it came: nothing of that one is kept.
  if (current_ && current_->status != 0) EndExchange(true);
  current_ = std::make_unique<CapturedExchange>();
  current_->targetUri = InfoText(easy, CURLINFO_EFFECTIVE_URL);
  current_->date = WallClock::W3cNow();
  current_->requestHead = AsHttp11RequestHead(head);
  headDone_ = false;
  bodyStarted_ = false;
}

void ExchangeCapture::ResponseHeaderLine(CURL* easy, std::string_view line) {
  if (!current_) return;
  if (IsStatusLine(line)) {
    // A new head: the first, or the final one after an interim 1xx.
    current_->responseHead.clear();
    current_->status = StatusOf(line);
    if (line.starts_with("HTTP/2 ")) {
      current_->protocol = current_->targetUri.starts_with("https:") ? "h2" : "h2c";
      current_->responseHead = "HTTP/1.1 " + std::string(line.substr(7));
    } else {
      current_->responseHead = std::string(line);
    }
    current_->ipAddress = InfoText(easy, CURLINFO_PRIMARY_IP);
    headDone_ = false;
    return;
  }
  current_->responseHead.append(line);
  if (line == "\r\n" || line == "\n") headDone_ = current_->status >= 200;
}

void ExchangeCapture::StartBody() {
  bodyStarted_ = true;
  block_.emplace(Digest::Kind::Sha1);
  payload_.emplace(Digest::Kind::Sha1);
  block_->Add(current_->responseHead);
  // Grown once rather than doubling as the body comes; the buffer bounds
  // what it holds in memory whatever the server announces.
  const std::string_view length = HttpHead::Field(current_->responseHead, "Content-Length");
  current_->body.Reserve(static_cast<std::size_t>(DigitsValue(length)));
  if (HttpHead::Holds(HttpHead::Field(current_->responseHead, "Transfer-Encoding"), "chunked")) {
    chunks_ =
        std::make_unique<ChunkedDecoder>([this](std::string_view data) { payload_->Add(data); });
  } else {
    chunks_.reset();
  }
}

void ExchangeCapture::BodyBytes(std::string_view bytes) {
  if (!current_ || !headDone_) return;
  if (!bodyStarted_) StartBody();
  current_->body.Append(bytes);
  block_->Add(bytes);
  if (chunks_) {
    chunks_->Add(bytes);
  } else {
    payload_->Add(bytes);
  }
}

void ExchangeCapture::TransferEnded(bool whole) {
  if (current_) EndExchange(whole);
}

void ExchangeCapture::EndExchange(bool whole) {
  if (current_->status >= 200 && headDone_) {
    if (!bodyStarted_) StartBody();
    current_->blockDigest = block_->WarcLabel();
    current_->payloadDigest = payload_->WarcLabel();
    current_->complete = whole && !current_->body.failed() && (!chunks_ || chunks_->Done()) &&
                         BodyHasItsLength(*current_);
    done_.push_back(std::move(*current_));
  }
  current_.reset();
  chunks_.reset();
  bodyStarted_ = false;
  headDone_ = false;
}

std::vector<CapturedExchange> ExchangeCapture::Take() {
  std::vector<CapturedExchange> taken;
  taken.swap(done_);
  return taken;
}

}  // namespace kestrine
