#include "runtime/net/http_transfer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "kestrine_version.h"
#include "runtime/fs/local_files.h"
#include "runtime/http_head.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 20;
constexpr long kLowSpeedBytesPerSecond = 1024;
// Progress is reported at most this often; the wait for a transfer's end
// looks up only to report it.
constexpr auto kReportInterval = std::chrono::milliseconds(100);
constexpr std::int64_t kBombFloorBytes = 64ll * 1024 * 1024;
constexpr std::int64_t kBombRatio = 100;
// A page or script up to this size waits in memory for its caller to read
// it, so it is neither written twice nor read back; a larger one goes to
// the file as it comes.
constexpr std::size_t kHeldTextBytes = 32 * 1024 * 1024;
// With hundreds of transfers in flight, the bodies held by all of them stay
// under this; beyond it a body goes to its file as it comes.
constexpr std::int64_t kHeldBudgetBytes = 96ll * 1024 * 1024;
std::atomic<std::int64_t> heldByAllTransfers{0};

}  // namespace

HttpClient::Transfer::~Transfer() {
  DropHeld();
  curl_slist_free_all(headerList);
}

void HttpClient::Transfer::Reset() {
  memoryFull = false;
  holding.reset();
  DropHeld();
  written = 0;
  contentLength = 0;
  tooLarge = bombStopped = writeFailed = stopped = false;
  writeError = 0;
  headers.clear();
  failureReason.clear();
  responseStatus = 0;
  failure = Failure::None;
  wireTotal = 0;
  wireNow = 0;
}

bool HttpClient::Transfer::IsAheadOfRate() const { return ResumeIn().count() > 0; }

// A tenth of a second's worth may come at once; beyond that the body keeps
// to the rate on average: it may go on once that many bytes are due.
std::chrono::milliseconds HttpClient::Transfer::ResumeIn() const {
  if (options.maxReceiveSpeed <= 0) return std::chrono::milliseconds(0);
  const double due = static_cast<double>(written) / static_cast<double>(options.maxReceiveSpeed);
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count() + 0.1;
  return std::chrono::milliseconds(static_cast<long long>(std::max(0.0, due - elapsed) * 1000));
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
  if (!holding) holding = holdText && IsReadText(ContentKindOf(HeaderValue("Content-Type")));
  if (*holding) {
    if (held.size() + length <= kHeldTextBytes && CountHeld(length)) {
      held.append(data, length);
      return true;
    }
    holding = false;
    const bool spilled = WriteToDescriptor(sink.get(), held);
    DropHeld();
    if (!spilled) return false;
  }
  return WriteToDescriptor(sink.get(), std::string_view(data, length));
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
  for (const auto& [key, value] : headers) {
    if (HttpHead::SameName(key, name)) return value;
  }
  return {};
}

std::string HttpClient::Transfer::ReadBack() const {
  std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(written, 0)), '\0');
  std::size_t used = 0;
  while (sink.valid() && used < bytes.size()) {
    const ssize_t done =
        ::pread(sink.get(), bytes.data() + used, bytes.size() - used, static_cast<off_t>(used));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;
    used += static_cast<std::size_t>(done);
  }
  bytes.resize(used);
  return bytes;
}

bool HttpClient::Transfer::WriteAndClose(std::string_view bytes) {
  const bool stored = WriteToDescriptor(sink.get(), bytes);
  const int error = errno;
  const bool closed = ::close(sink.Release()) == 0;
  if (!closed || !stored) {
    writeFailed = true;
    writeError = stored ? errno : error;
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

int HttpClient::Transfer::OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size,
                                  void* self) {
  ExchangeCapture* capture = static_cast<Transfer*>(self)->capture.get();
  if (capture == nullptr) return 0;
  const std::string_view bytes(data, size);
  switch (type) {
    case CURLINFO_HEADER_OUT:
      capture->RequestSent(easy, bytes);
      break;
    case CURLINFO_HEADER_IN:
      capture->ResponseHeaderLine(easy, bytes);
      break;
    case CURLINFO_DATA_IN:
      capture->BodyBytes(bytes);
      break;
    default:
      break;
  }
  return 0;
}

int HttpClient::Transfer::OnTransferInfo(void* self, curl_off_t dlTotal, curl_off_t dlNow,
                                         curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(self);
  t->wireTotal = dlTotal;
  t->wireNow = dlNow;
  return 0;
}

void HttpClient::Transfer::Configure(const std::string& url) {
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
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  errorText[0] = '\0';
  if (options.maxTimeSeconds > 0) {
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.maxTimeSeconds) * 1000);
  }
  // A rate limit below the stall floor must not read as a stall, nor must a
  // connection shared by many streams.
  const bool shared = engine != nullptr && engine->Multiplexes(origin);
  const std::int64_t floor =
      shared ? std::max<std::int64_t>(1, kLowSpeedBytesPerSecond / engine->streams())
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
  // What crossed the wire is seen only through the debug callback.
  curl_easy_setopt(easy, CURLOPT_VERBOSE, capture ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, capture ? &Transfer::OnDebug : nullptr);
  curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this);
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
// connection, within the same room per host. So does every transfer of a
// client without an engine.
CURLcode HttpClient::Transfer::Run() {
  return engine != nullptr && origin.rfind("https://", 0) == 0 ? RunOnEngine() : RunHere();
}

CURLcode HttpClient::Transfer::RunHere() {
  if (engine != nullptr && !engine->Reserve(origin, multi)) {
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
    // The engine's Stop wakes the poll below.
    if (StopRequested() || (engine != nullptr && engine->IsStopped())) {
      stopped = true;
      break;
    }
    const std::chrono::milliseconds resume = paused ? ResumeIn() : std::chrono::milliseconds(0);
    if (paused && resume.count() == 0) {
      paused = false;
      curl_easy_pause(easy, CURLPAUSE_CONT);
      continue;
    }
    if (Clock::now() - lastReport >= kReportInterval && wireNow.load() != lastReported) {
      ReportProgress();
      lastReport = Clock::now();
      lastReported = wireNow.load();
    }
    const auto wait = paused ? resume : kReportInterval;
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max<long long>(1, wait.count())),
                    nullptr);
  }
  CURLcode result = stopped ? CURLE_ABORTED_BY_CALLBACK : CURLE_RECV_ERROR;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy && !stopped) {
      result = message->data.result;
    }
  }
  curl_multi_remove_handle(multi, easy);
  if (engine != nullptr) engine->Release(origin, multi);
  return result;
}

// Hands the transfer to the engine and waits for its end, reporting its
// progress from this thread as it goes; the engine's Stop ends it.
CURLcode HttpClient::Transfer::RunOnEngine() {
  started = Clock::now();
  if (StopRequested() || !engine->Start(*this, easy, origin)) {
    stopped = true;
    return CURLE_ABORTED_BY_CALLBACK;
  }
  // A transfer shorter than one interval reports only its end.
  curl_off_t lastReported = -1;
  while (true) {
    if (const auto result = engine->WaitFor(*this, kReportInterval)) {
      if (*result == CURLE_ABORTED_BY_CALLBACK) stopped = true;
      return *result;
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

void HttpClient::Transfer::Finish(CURLcode result) {
  long response = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response);
  responseStatus = response;
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
  if (capture) capture->TransferEnded(result == CURLE_OK);
  failure = FailureFor(result);
  if (failure != Failure::None || responseStatus >= 400) failureReason = ReasonFor(result);
}

}  // namespace kestrine
