#include "runtime/net/http_client.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "kestrine_version.h"
#include "runtime/net/curl_handles.h"
#include "runtime/fs/file_exception.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "runtime/net/transfer_engine.h"
#include "runtime/net/unresolved_host_cache.h"

namespace kestrine {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 20;
constexpr long kLowSpeedBytesPerSecond = 1024;
constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr int kPollMilliseconds = 100;
// A transfer paused to keep to its rate looks again this often.
constexpr int kRatePollMilliseconds = 10;
constexpr std::int64_t kBombFloorBytes = 64ll * 1024 * 1024;
constexpr std::int64_t kBombRatio = 100;
// A page or style sheet up to this size waits in memory for its caller to
// rewrite it, so it is neither written twice nor read back; a larger one
// goes to the file as it comes.
constexpr std::size_t kHeldTextBytes = 4 * 1024 * 1024;
// With hundreds of transfers in flight, the bodies held by all of them stay
// under this; beyond it a body goes to its file as it comes.
constexpr std::int64_t kHeldBudgetBytes = 64ll * 1024 * 1024;
std::atomic<std::int64_t> heldByAllTransfers{0};

bool IsTextType(const std::string& contentType) {
  const std::string type = StringUtility::ToLowerAscii(StringUtility::TrimAscii(contentType));
  // Scripts and JSON are read for the files they name, though never
  // rewritten.
  return type.rfind("text/html", 0) == 0 || type.rfind("text/css", 0) == 0 ||
         type.rfind("image/svg+xml", 0) == 0 || type.rfind("text/javascript", 0) == 0 ||
         type.rfind("application/javascript", 0) == 0 || type.rfind("application/json", 0) == 0;
}

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

// Which check a certificate failed, as the TLS library put it.
std::string CertificateReason(const char* detail) {
  const std::string text = StringUtility::ToLowerAscii(detail);
  const auto says = [&text](const char* words) { return text.find(words) != std::string::npos; };
  std::string which;
  if (says("expired")) {
    which = "expired";
  } else if (says("not yet valid")) {
    which = "not yet valid";
  } else if (says("self-signed") || says("self signed")) {
    which = "self-signed";
  } else if (says("local issuer") || says("unknown ca") || says("issuer certificate")) {
    which = "unknown issuer";
  } else if (says("subject name") || says("does not match") || says("no alternative")) {
    which = "made out for another host name";
  } else if (says("revoked")) {
    which = "revoked";
  }
  return which.empty() ? "certificate not trusted" : "certificate not trusted (" + which + ")";
}

}  // namespace

struct HttpClient::Transfer : TransferEngine::Job {
  int timeoutMs = 10000;
  IDownloadStatus* status = nullptr;
  std::u16string sinkPath;
  int sink = -1;
  bool holdText = false;
  // SinkToMemory: the whole body in `held`, up to this many bytes.
  std::optional<std::size_t> memoryLimit;
  bool memoryFull = false;
  // Whether this body waits in `held` rather than in the file; decided at
  // its first bytes, when the final response's headers are known.
  std::optional<bool> holding;
  std::string held;
  // Of `held`, what counts against the budget of all transfers.
  std::int64_t heldCounted = 0;
  std::u16string address;
  std::u16string location;
  std::vector<std::pair<std::string, std::string>> headers;
  CURL* easy = nullptr;
  // This thread's own connections, for a transfer it drives itself.
  CURLM* multi = nullptr;
  int returnCode = 0;
  long responseCode = 0;  // the status that arrived; 0 for none
  Failure failure = Failure::None;
  std::string origin;
  long httpVersion = 0;
  std::int64_t contentLength = 0;
  std::int64_t written = 0;
  // Written on the transfer engine's thread, read for progress reports.
  std::atomic<curl_off_t> wireTotal{0};
  std::atomic<curl_off_t> wireNow{0};
  bool writeFailed = false;
  int writeError = 0;
  bool bombStopped = false;
  bool stopped = false;
  RequestOptions options;
  curl_slist* headerList = nullptr;
  bool tooLarge = false;
  Clock::time_point started = Clock::now();
  std::string failureReason;
  char errorText[CURL_ERROR_SIZE] = {};

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static int OnTransferInfo(void* self, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t,
                            curl_off_t);
  bool MayResume() override { return !IsAheadOfRate(); }
  void Configure(const std::string& url, const std::string& origin);
  CURLcode Run(const std::string& origin);
  CURLcode RunOnEngine(const std::string& origin);
  CURLcode RunHere(const std::string& origin);
  bool StopRequested() const { return status != nullptr && status->ShouldStop() != 0; }
  bool CountHeld(std::size_t length);
  void DropHeld();
  void ReportProgress();
  bool TookTooLong(CURLcode result) const;
  int CodeFor(CURLcode result) const;
  Failure FailureFor(CURLcode result) const;
  std::string ReasonFor(CURLcode result) const;
  bool IsAheadOfRate() const;
  bool Keep(const char* data, std::size_t length);
  std::string HeaderValue(const std::string& name) const;
  void Finish(CURLcode result);
  bool CloseSink();
  // The body as it went to the still open file.
  std::string ReadBack() const;
  // Writes the bytes to the open sink file and closes it; false, and a
  // failed write noted, when either goes wrong.
  bool WriteAndClose(std::string_view bytes);
};

bool HttpClient::Transfer::IsAheadOfRate() const {
  if (options.maxReceiveSpeed <= 0) return false;
  // A tenth of a second's worth may come at once; beyond that the body
  // keeps to the rate on average.
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return static_cast<double>(written) >
         static_cast<double>(options.maxReceiveSpeed) * (seconds + 0.1);
}

std::size_t HttpClient::Transfer::OnBody(char* data, std::size_t size, std::size_t count,
                                         void* self) {
  auto* t = static_cast<Transfer*>(self);
  const std::size_t length = size * count;
  // Bodies arrive faster than a rate limit allows whenever they sit in the
  // socket already; the transfer then waits, and this piece comes again.
  if (t->IsAheadOfRate()) {
    t->paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  t->written += static_cast<std::int64_t>(length);
  // A body that decodes far beyond what came over the wire is a
  // decompression bomb; stop it before it fills the disk.
  curl_off_t wire = 0;
  curl_easy_getinfo(t->easy, CURLINFO_SIZE_DOWNLOAD_T, &wire);
  if (t->written > kBombFloorBytes && t->written > kBombRatio * std::max<curl_off_t>(wire, 1)) {
    t->bombStopped = true;
    return 0;
  }
  if (t->options.maxFileSize > 0 && t->written > t->options.maxFileSize) {
    t->tooLarge = true;
    return 0;
  }
  if (!t->Keep(data, length)) {
    if (!t->memoryFull) {
      t->writeFailed = true;
      t->writeError = errno;
    }
    return 0;
  }
  return length;
}

bool HttpClient::Transfer::Keep(const char* data, std::size_t length) {
  if (memoryLimit) {
    holding = true;
    const std::size_t room = *memoryLimit - std::min(*memoryLimit, held.size());
    held.append(data, std::min(room, length));
    if (length <= room) return true;
    memoryFull = true;
    return false;
  }
  if (!holding) holding = holdText && IsTextType(HeaderValue("Content-Type"));
  if (*holding) {
    if (held.size() + length <= kHeldTextBytes && CountHeld(length)) {
      held.append(data, length);
      return true;
    }
    holding = false;
    const bool spilled = WriteToDescriptor(sink, held);
    DropHeld();
    if (!spilled) return false;
  }
  return WriteToDescriptor(sink, std::string_view(data, length));
}

bool HttpClient::Transfer::CountHeld(std::size_t length) {
  const auto bytes = static_cast<std::int64_t>(length);
  if (heldByAllTransfers.fetch_add(bytes) + bytes > kHeldBudgetBytes) {
    heldByAllTransfers.fetch_sub(bytes);
    return false;
  }
  heldCounted += bytes;
  return true;
}

void HttpClient::Transfer::DropHeld() {
  heldByAllTransfers.fetch_sub(heldCounted);
  heldCounted = 0;
  std::string().swap(held);
}

std::string HttpClient::Transfer::HeaderValue(const std::string& name) const {
  const std::string wanted = StringUtility::ToLowerAscii(name);
  for (const auto& [key, value] : headers) {
    if (StringUtility::ToLowerAscii(key) == wanted) return value;
  }
  return {};
}

bool HttpClient::Transfer::CloseSink() {
  if (sink < 0) return true;
  const bool closed = ::close(sink) == 0;
  sink = -1;
  return closed;
}

std::string HttpClient::Transfer::ReadBack() const {
  std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(written, 0)), '\0');
  std::size_t used = 0;
  while (sink >= 0 && used < bytes.size()) {
    const ssize_t done =
        ::pread(sink, bytes.data() + used, bytes.size() - used, static_cast<off_t>(used));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;
    used += static_cast<std::size_t>(done);
  }
  bytes.resize(used);
  return bytes;
}

bool HttpClient::Transfer::WriteAndClose(std::string_view bytes) {
  const bool written = WriteToDescriptor(sink, bytes);
  const int error = errno;
  if (!CloseSink() || !written) {
    writeFailed = true;
    writeError = written ? errno : error;
  }
  return !writeFailed;
}

std::size_t HttpClient::Transfer::OnHeader(char* data, std::size_t size, std::size_t count,
                                           void* self) {
  auto* t = static_cast<Transfer*>(self);
  const std::string line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    t->headers.clear();  // a new response after a redirect or a 100 Continue
  } else if (const std::size_t colon = line.find(':'); colon != std::string::npos) {
    t->headers.emplace_back(StringUtility::TrimAscii(line.substr(0, colon)),
                            StringUtility::TrimAscii(line.substr(colon + 1)));
  }
  return size * count;
}

int HttpClient::Transfer::OnTransferInfo(void* self, curl_off_t dlTotal, curl_off_t dlNow,
                                         curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(self);
  t->wireTotal = dlTotal;
  t->wireNow = dlNow;
  return 0;
}

void HttpClient::Transfer::Configure(const std::string& url, const std::string& origin) {
  const long lowSpeedSeconds = std::max<long>(1, (timeoutMs + 999) / 1000);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  curl_easy_setopt(easy, CURLOPT_SHARE, CurlHandles::Share());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(
      easy, CURLOPT_USERAGENT,
      options.userAgent.empty() ? "Kestrine/" KESTRINE_VERSION : options.userAgent.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_AUTOREFERER, 1L);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  errorText[0] = '\0';
  if (options.maxTimeSeconds > 0) {
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.maxTimeSeconds) * 1000);
  }
  // A rate limit below the stall floor must not read as a stall, nor must a
  // connection shared by many streams.
  const TransferEngine& engine = TransferEngine::Instance();
  const std::int64_t floor =
      engine.Multiplexes(origin)
          ? std::max<std::int64_t>(1, kLowSpeedBytesPerSecond / engine.streams())
          : kLowSpeedBytesPerSecond;
  const long lowSpeed = static_cast<long>(
      options.maxReceiveSpeed > 0
          ? std::min<std::int64_t>(floor, std::max<std::int64_t>(1, options.maxReceiveSpeed / 2))
          : floor);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, lowSpeed);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnTransferInfo);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, options.checkCertificate ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, options.checkCertificate ? 2L : 0L);
  if (!options.caCertificate.empty()) {
    curl_easy_setopt(easy, CURLOPT_CAINFO, options.caCertificate.c_str());
  }
  if (!options.headers.empty()) {
    curl_slist_free_all(headerList);
    headerList = nullptr;
    for (const std::string& header : options.headers) {
      headerList = curl_slist_append(headerList, header.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
  }
  if (!options.cookieFile.empty()) {
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, options.cookieFile.c_str());
  }
  if (options.maxFileSize > 0) {
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxFileSize));
  }
}

void HttpClient::Transfer::ReportProgress() {
  if (status != nullptr) {
    status->OnProgress(std::max<curl_off_t>(wireTotal.load(), 0), wireNow.load());
  }
}

// Plain http never multiplexes: handing it to the engine's thread would only
// add two thread switches to every transfer, which a copy of many small
// files on a fast network feels. It runs here, on this thread's own
// connection, within the same room per host.
CURLcode HttpClient::Transfer::Run(const std::string& origin) {
  return origin.rfind("http://", 0) == 0 ? RunHere(origin) : RunOnEngine(origin);
}

// Drives the transfer in short polls, so a stop request is seen within a
// tenth of a second whether or not data arrives.
CURLcode HttpClient::Transfer::RunHere(const std::string& origin) {
  TransferEngine& engine = TransferEngine::Instance();
  if (!engine.Reserve(origin, [this] { return StopRequested(); })) {
    stopped = true;
    return CURLE_ABORTED_BY_CALLBACK;
  }
  started = Clock::now();
  paused = false;
  curl_multi_add_handle(multi, easy);
  auto lastReport = Clock::now();
  curl_off_t lastReported = -1;
  int running = 1;
  while (running > 0) {
    if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0) break;
    if (StopRequested()) {
      stopped = true;
      break;
    }
    if (paused && MayResume()) {
      paused = false;
      curl_easy_pause(easy, CURLPAUSE_CONT);
      continue;
    }
    if (Clock::now() - lastReport >= kPollInterval && wireNow.load() != lastReported) {
      ReportProgress();
      lastReport = Clock::now();
      lastReported = wireNow.load();
    }
    curl_multi_poll(multi, nullptr, 0, paused ? kRatePollMilliseconds : kPollMilliseconds, nullptr);
  }
  CURLcode result = stopped ? CURLE_ABORTED_BY_CALLBACK : CURLE_RECV_ERROR;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy && !stopped) {
      result = message->data.result;
    }
  }
  curl_multi_remove_handle(multi, easy);
  engine.Release(origin);
  return result;
}

// Hands the transfer to the engine and waits for its end in short polls, so
// a stop request is seen within a tenth of a second whether or not data
// arrives, and progress is reported from this thread.
CURLcode HttpClient::Transfer::RunOnEngine(const std::string& origin) {
  TransferEngine& engine = TransferEngine::Instance();
  const auto stopRequested = [this] { return StopRequested(); };
  started = Clock::now();
  if (!engine.Start(*this, easy, origin, stopRequested)) {
    stopped = true;
    return CURLE_ABORTED_BY_CALLBACK;
  }
  // A transfer shorter than one interval reports only its end.
  curl_off_t lastReported = -1;
  while (true) {
    if (const auto result = engine.WaitFor(*this, kPollInterval)) return *result;
    if (stopRequested()) {
      engine.Abort(*this);
      stopped = true;
      return CURLE_ABORTED_BY_CALLBACK;
    }
    if (wireNow.load() != lastReported) {
      ReportProgress();
      lastReported = wireNow.load();
    }
  }
}

bool HttpClient::Transfer::TookTooLong(CURLcode result) const {
  if (result != CURLE_OPERATION_TIMEDOUT || options.maxTimeSeconds <= 0) return false;
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return seconds + 0.05 >= options.maxTimeSeconds;
}

int HttpClient::Transfer::CodeFor(CURLcode result) const {
  if (stopped) return kStopped;
  // A body kept in memory ends where its room ends; what came is complete.
  if (memoryFull && returnCode > 0) return returnCode;
  if (TookTooLong(result)) return kTookTooLong;
  if (tooLarge || result == CURLE_FILESIZE_EXCEEDED) return kTooLarge;
  if (writeFailed) return kLocalWriteFailed;
  switch (result) {
    case CURLE_OK:
      return returnCode > 0 ? returnCode : kNoConnection;
    case CURLE_OPERATION_TIMEDOUT:
      return kTimedOut;
    case CURLE_TOO_MANY_REDIRECTS:
      return kTooManyRedirects;
    case CURLE_URL_MALFORMAT:
      return kBadAddress;
    default:
      return kNoConnection;
  }
}

HttpClient::Failure HttpClient::Transfer::FailureFor(CURLcode result) const {
  if (stopped) return Failure::Stopped;
  if (memoryFull && returnCode > 0) return Failure::None;
  if (TookTooLong(result)) return Failure::TookTooLong;
  if (tooLarge || result == CURLE_FILESIZE_EXCEEDED) return Failure::TooLarge;
  if (writeFailed) return Failure::LocalWrite;
  switch (result) {
    case CURLE_OK:
      return returnCode > 0 ? Failure::None : Failure::ConnectionLost;
    case CURLE_OPERATION_TIMEDOUT:
      return Failure::TimedOut;
    case CURLE_TOO_MANY_REDIRECTS:
      return Failure::TooManyRedirects;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Failure::BadAddress;
    case CURLE_COULDNT_RESOLVE_HOST:
      return Failure::HostNotFound;
    case CURLE_COULDNT_CONNECT:
      return Failure::ConnectionRefused;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
      return Failure::Tls;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_WEIRD_SERVER_REPLY:
      return Failure::ConnectionLost;
    default:
      return Failure::Other;
  }
}

std::string HttpClient::Transfer::ReasonFor(CURLcode result) const {
  if (stopped) return "stopped";
  if (tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
    return "larger than the file size limit of " + std::to_string(options.maxFileSize) + " bytes";
  }
  if (writeFailed) {
    return "cannot write the local file" +
           (writeError != 0 ? ": " + std::string(std::strerror(writeError)) : std::string());
  }
  if (bombStopped) return "the body unpacks to far more than was sent";
  if (TookTooLong(result)) {
    return "took longer than " + std::to_string(options.maxTimeSeconds) + " s";
  }
  switch (result) {
    case CURLE_OK:
      return returnCode > 0 ? "HTTP " + std::to_string(returnCode) : "no response";
    case CURLE_OPERATION_TIMEDOUT:
      return "timed out after " + std::to_string((timeoutMs + 999) / 1000) + " s";
    case CURLE_TOO_MANY_REDIRECTS:
      return "more than " + std::to_string(kMaxRedirects) + " redirects";
    case CURLE_URL_MALFORMAT:
      return "not a valid address";
    case CURLE_UNSUPPORTED_PROTOCOL:
      return "redirected to an address that is not http or https";
    case CURLE_COULDNT_RESOLVE_HOST:
      return "host not found";
    case CURLE_COULDNT_CONNECT:
      return "connection refused";
    case CURLE_PEER_FAILED_VERIFICATION:
      return CertificateReason(errorText);
    case CURLE_SSL_CONNECT_ERROR:
      return "TLS handshake failed";
    case CURLE_SSL_CACERT_BADFILE:
      return "cannot read the CA certificate file";
    case CURLE_GOT_NOTHING:
      return "empty reply from the server";
    case CURLE_PARTIAL_FILE:
      return "transfer cut short";
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return "connection reset";
    default:
      return curl_easy_strerror(result);
  }
}

void HttpClient::Transfer::Finish(CURLcode result) {
  long response = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response);
  returnCode = static_cast<int>(response);
  responseCode = response;
  curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &httpVersion);
  curl_off_t length = -1;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  contentLength = std::max<curl_off_t>(length, 0);
  long redirects = 0;
  curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
  char* effective = nullptr;
  curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
  // Without a redirect the address stays as it was asked for, not in the
  // percent-encoded form that was sent.
  location = (redirects > 0 && effective != nullptr) ? StringUtility::FromUtf8(effective) : address;
  // The file stays open for the caller's StoreBody or StoreText, so it is
  // never opened again by its name.
  ReportProgress();
  const int code = CodeFor(result);
  failureReason = code >= 400 ? ReasonFor(result) : std::string();
  failure = FailureFor(result);
  returnCode = code;
}

bool HttpClient::GlobalInit() { return CurlHandles::GlobalInit(); }

HttpClient::HttpClient() : transfer_(std::make_unique<Transfer>()) {}

HttpClient::~HttpClient() {
  transfer_->CloseSink();
  transfer_->DropHeld();
  curl_slist_free_all(transfer_->headerList);
}

void HttpClient::SetTimeout(int milliseconds) { transfer_->timeoutMs = std::max(1, milliseconds); }

void HttpClient::SetDownloadStatus(IDownloadStatus* status) { transfer_->status = status; }

void HttpClient::SetRequestOptions(RequestOptions options) {
  transfer_->options = std::move(options);
}

std::string HttpClient::GetFailureReason() const { return transfer_->failureReason; }

void HttpClient::SinkToFile(const std::u16string& path) {
  const int fd =
      ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) throw FileException(path, "cannot open the file for writing");
  SinkToDescriptor(fd, path);
}

void HttpClient::SinkToDescriptor(int fd, const std::u16string& shownPath) {
  transfer_->CloseSink();
  transfer_->memoryLimit.reset();
  transfer_->sinkPath = shownPath;
  transfer_->sink = fd;
}

void HttpClient::SinkToMemory(std::size_t maxBytes) {
  transfer_->CloseSink();
  transfer_->memoryLimit = maxBytes;
}

const std::string& HttpClient::GetMemoryBody() const { return transfer_->held; }

void HttpClient::HoldTextBodies(bool hold) { transfer_->holdText = hold; }

bool HttpClient::Navigate2(const std::u16string& address, int, int) {
  Transfer& t = *transfer_;
  if (t.sink < 0 && !t.memoryLimit) throw FileException(t.sinkPath, "no file to receive the body");
  decoded_.reset();
  t.memoryFull = false;
  t.holding.reset();
  t.DropHeld();
  // A client may ask again after a try that did not succeed.
  t.written = 0;
  t.contentLength = 0;
  t.tooLarge = t.bombStopped = t.writeFailed = t.stopped = false;
  t.writeError = 0;
  t.headers.clear();
  t.failureReason.clear();
  t.address = address;
  t.location = address;
  t.responseCode = 0;
  t.failure = Failure::None;
  CurlHandles& handles = CurlHandles::ForThisThread(!t.options.cookieFile.empty());
  t.easy = handles.easy();
  t.multi = handles.multi();
  const std::string url = RequestUrl(address);
  const std::string host = HostOf(url);
  if (UnresolvedHostCache::Instance().IsKnownUnresolved(host)) {
    t.Finish(CURLE_COULDNT_RESOLVE_HOST);
  } else {
    const std::string origin = OriginOf(url);
    t.origin = origin;
    t.Configure(url, origin);
    const CURLcode result = t.Run(origin);
    long redirects = 0;
    curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_COUNT, &redirects);
    if (result == CURLE_COULDNT_RESOLVE_HOST && redirects == 0) {
      UnresolvedHostCache::Instance().Remember(host);
    }
    t.Finish(result);
  }
  t.easy = nullptr;
  return t.returnCode < 400;
}

bool HttpClient::PrepareRetry() {
  Transfer& t = *transfer_;
  t.DropHeld();
  t.holding.reset();
  if (t.sink < 0) return t.memoryLimit.has_value();
  return ::lseek(t.sink, 0, SEEK_SET) == 0 && ::ftruncate(t.sink, 0) == 0;
}

std::int64_t HttpClient::GetContentLength() const { return transfer_->contentLength; }

int HttpClient::GetReturnCode() const { return transfer_->returnCode; }

std::string HttpClient::GetHeaderValue(const std::string& name) const {
  return transfer_->HeaderValue(name);
}

bool HttpClient::StoreBody() {
  Transfer& t = *transfer_;
  if (t.sink < 0) return !t.writeFailed;
  return t.WriteAndClose(t.holding.value_or(false) ? std::string_view(t.held) : std::string_view());
}

bool HttpClient::StoreText(const std::string& bytes) {
  Transfer& t = *transfer_;
  if (t.sink >= 0 && !t.holding.value_or(false)) {
    // The body went to the file as it came; the text takes its place.
    if (::lseek(t.sink, 0, SEEK_SET) != 0 || ::ftruncate(t.sink, 0) != 0) t.CloseSink();
  }
  if (t.sink < 0) {
    t.writeFailed = true;
    return false;
  }
  t.holding = false;
  t.DropHeld();
  return t.WriteAndClose(bytes);
}

std::u16string HttpClient::GetLocationURL() const { return transfer_->location; }

bool HttpClient::WasMultiplexed() const {
  return transfer_->httpVersion == CURL_HTTP_VERSION_2_0 ||
         transfer_->httpVersion == CURL_HTTP_VERSION_3;
}

std::int64_t HttpClient::GetReceivedBytes() const { return transfer_->written; }

HttpClient::Failure HttpClient::GetFailure() const { return transfer_->failure; }

bool HttpClient::GotResponse() const { return transfer_->responseCode > 0; }

void HttpClient::ThrottleHost() { TransferEngine::Instance().Throttle(transfer_->origin); }

bool HttpClient::HostMultiplexes() const {
  return WasMultiplexed() || TransferEngine::Instance().Multiplexes(transfer_->origin);
}

const DecodedBody& HttpClient::Decoded() {
  if (!decoded_) {
    const std::string contentType = GetHeaderValue("Content-Type");
    const BodyKind kind =
        StringUtility::ToLowerAscii(StringUtility::TrimAscii(contentType)).rfind("text/css", 0) == 0
            ? BodyKind::StyleSheet
            : BodyKind::Page;
    const bool held = transfer_->holding.value_or(false);
    const std::string fromFile = held ? std::string() : transfer_->ReadBack();
    decoded_ = CharsetSniffer::Decode(held ? transfer_->held : fromFile, contentType, kind);
  }
  return *decoded_;
}

const std::u16string& HttpClient::GetSource() { return Decoded().text; }

std::string HttpClient::GetBody() const {
  return transfer_->holding.value_or(false) ? transfer_->held : transfer_->ReadBack();
}

std::string HttpClient::GetCharset() { return Decoded().charset; }

}  // namespace kestrine
