#include "runtime/net/http_client.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "runtime/fs/local_files.h"
#include "runtime/net/http_transfer.h"
#include "runtime/net/transfer_engine.h"
#include "runtime/net/unresolved_host_cache.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

// Bytes libcurl refuses in an address (blanks, controls, anything beyond
// ASCII) are percent-encoded the way browsers send them.
std::string RequestUrl(const std::u16string& address) {
  static const char* kHex = "0123456789ABCDEF";
  std::string url;
  for (unsigned char c : StringUtility::ToUtf8(address)) {
    if (c <= 0x20 || c >= 0x7F) {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0x0F];
    } else {
      url += static_cast<char>(c);
    }
  }
  return url;
}

// The lower-case host name of a request address; empty when it has none.
// Brackets stay around an IPv6 address.
std::string HostOf(const std::string& url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  const std::size_t start = scheme + 3;
  std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
  if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
    authority.erase(0, at + 1);
  }
  const std::size_t end =
      !authority.empty() && authority[0] == '[' ? authority.find(']') + 1 : authority.find(':');
  return StringUtility::ToLowerAscii(authority.substr(0, end));
}

// "https://host:port" of a request address, lower-case: transfers to one
// origin share connections.
std::string OriginOf(const std::string& url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  return StringUtility::ToLowerAscii(url.substr(0, url.find_first_of("/?#", scheme + 3)));
}

}  // namespace

bool HttpClient::GlobalInit() { return CurlHandles::GlobalInit(); }

HttpClient::HttpClient() : transfer_(std::make_unique<Transfer>()) {}

HttpClient::~HttpClient() = default;

void HttpClient::SetTimeout(int milliseconds) { transfer_->timeoutMs = std::max(1, milliseconds); }

void HttpClient::SetDownloadStatus(IDownloadStatus* status) { transfer_->status = status; }

void HttpClient::SetTransferEngine(TransferEngine* engine) {
  transfer_->engine = engine ? &engine->core() : nullptr;
}

void HttpClient::SetRequestOptions(RequestOptions options) {
  transfer_->options = std::move(options);
}

Status HttpClient::SinkToFile(const std::u16string& path) {
  const int fd =
      ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return Error{ErrorKind::Io, NativePath(path) + ": cannot open the file for writing"};
  SinkToDescriptor(fd, path);
  return Ok();
}

void HttpClient::SinkToDescriptor(int fd, const std::u16string& shownPath) {
  transfer_->memoryLimit.reset();
  transfer_->sinkPath = shownPath;
  transfer_->sink.Reset(fd);
}

void HttpClient::SinkToMemory(std::size_t maxBytes) {
  transfer_->sink.Reset();
  transfer_->memoryLimit = maxBytes;
}

const std::string& HttpClient::GetMemoryBody() const { return transfer_->held; }

void HttpClient::HoldTextBodies(bool hold) { transfer_->holdText = hold; }

void HttpClient::CaptureExchanges(bool capture) {
  if (capture && !transfer_->capture) transfer_->capture = std::make_unique<ExchangeCapture>();
  if (!capture) transfer_->capture.reset();
}

std::vector<CapturedExchange> HttpClient::TakeExchanges() {
  return transfer_->capture ? transfer_->capture->Take() : std::vector<CapturedExchange>{};
}

bool HttpClient::Navigate2(const std::u16string& address) {
  Transfer& t = *transfer_;
  t.Reset();
  t.address = address;
  t.location = address;
  if (!t.sink.valid() && !t.memoryLimit) {
    t.writeFailed = true;
    t.failure = Failure::LocalWrite;
    t.failureReason = "no file to receive the body";
    return false;
  }
  CurlHandles& handles = CurlHandles::ForThisThread(!t.options.cookieFile.empty());
  t.easy = handles.easy();
  t.multi = handles.multi();
  const std::string url = RequestUrl(address);
  const std::string host = HostOf(url);
  t.origin = OriginOf(url);
  if (UnresolvedHostCache::Instance().IsKnownUnresolved(host)) {
    t.Finish(CURLE_COULDNT_RESOLVE_HOST);
  } else {
    t.Configure(url);
    const CURLcode result = t.Run();
    long redirects = 0;
    curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_COUNT, &redirects);
    if (result == CURLE_COULDNT_RESOLVE_HOST && redirects == 0) {
      UnresolvedHostCache::Instance().Remember(host);
    }
    t.Finish(result);
  }
  t.easy = nullptr;
  return Succeeded();
}

bool HttpClient::PrepareRetry() {
  Transfer& t = *transfer_;
  t.DropHeld();
  t.holding.reset();
  if (!t.sink.valid()) return t.memoryLimit.has_value();
  return ::lseek(t.sink.get(), 0, SEEK_SET) == 0 && ::ftruncate(t.sink.get(), 0) == 0;
}

bool HttpClient::StoreBody() {
  Transfer& t = *transfer_;
  if (!t.sink.valid()) return !t.writeFailed;
  return t.WriteAndClose(t.holding.value_or(false) ? std::string_view(t.held) : std::string_view());
}

bool HttpClient::StoreText(const std::string& bytes) {
  Transfer& t = *transfer_;
  if (t.sink.valid() && !t.holding.value_or(false)) {
    // The body went to the file as it came; the text takes its place.
    if (::lseek(t.sink.get(), 0, SEEK_SET) != 0 || ::ftruncate(t.sink.get(), 0) != 0) {
      t.sink.Reset();
    }
  }
  if (!t.sink.valid()) {
    t.writeFailed = true;
    return false;
  }
  t.holding = false;
  t.DropHeld();
  return t.WriteAndClose(bytes);
}

bool HttpClient::Succeeded() const {
  return transfer_->failure == Failure::None && transfer_->responseStatus > 0 &&
         transfer_->responseStatus < 400;
}

std::int64_t HttpClient::GetContentLength() const { return transfer_->contentLength; }

int HttpClient::GetReturnCode() const { return static_cast<int>(transfer_->responseStatus); }

HttpClient::Failure HttpClient::GetFailure() const { return transfer_->failure; }

std::string HttpClient::GetFailureReason() const { return transfer_->failureReason; }

std::string HttpClient::GetHeaderValue(const std::string& name) const {
  return transfer_->HeaderValue(name);
}

ContentKind HttpClient::GetContentKind() const {
  return ContentKindOf(transfer_->HeaderValue("Content-Type"));
}

std::u16string HttpClient::GetLocationURL() const { return transfer_->location; }

std::string HttpClient::GetBody() const {
  return IsBodyHeld() ? transfer_->held : transfer_->ReadBack();
}

bool HttpClient::IsBodyHeld() const { return transfer_->holding.value_or(false); }

void HttpClient::DropHeldBody() {
  if (IsBodyHeld()) transfer_->DropHeld();
}

bool HttpClient::WasMultiplexed() const {
  return transfer_->httpVersion == CURL_HTTP_VERSION_2_0 ||
         transfer_->httpVersion == CURL_HTTP_VERSION_3;
}

bool HttpClient::GotResponse() const { return transfer_->responseStatus > 0; }

bool HttpClient::HostMultiplexes() const {
  return WasMultiplexed() ||
         (transfer_->engine != nullptr && transfer_->engine->Multiplexes(transfer_->origin));
}

void HttpClient::ThrottleHost() {
  if (transfer_->engine != nullptr) transfer_->engine->Throttle(transfer_->origin);
}

std::int64_t HttpClient::GetReceivedBytes() const { return transfer_->written; }

}  // namespace kestrine
