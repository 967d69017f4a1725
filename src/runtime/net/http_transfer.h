#pragma once

// The inside of an HttpClient, shared by its sources: one transfer's
// state, libcurl's callbacks, and the two ways a transfer runs. Only the
// client's own sources include this header.

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/net/curl_handles.h"
#include "runtime/net/exchange_capture.h"
#include "runtime/net/http_client.h"
#include "runtime/net/transfer_core.h"
#include "runtime/unique_fd.h"

namespace kestrine {

struct HttpClient::Transfer : TransferCore::Job {
  using Clock = std::chrono::steady_clock;

  int timeoutMs = 10000;
  IDownloadStatus* status = nullptr;
  TransferCore* engine = nullptr;
  std::u16string sinkPath;
  UniqueFd sink;
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
  std::string origin;
  std::vector<std::pair<std::string, std::string>> headers;
  CURL* easy = nullptr;
  // This thread's own connections, for a transfer it drives itself.
  CURLM* multi = nullptr;
  long responseStatus = 0;  // the status that arrived; 0 for none
  Failure failure = Failure::None;
  std::string failureReason;
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
  char errorText[CURL_ERROR_SIZE] = {};
  // The exchanges as they crossed the wire, when a web archive is kept.
  std::unique_ptr<ExchangeCapture> capture;

  ~Transfer() override;

  // libcurl's callbacks.
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static int OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size, void* self);
  static int OnTransferInfo(void* self, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t,
                            curl_off_t);

  // A new try: what the last one left is dropped.
  void Reset();
  void Configure(const std::string& url);
  CURLcode Run();
  void Finish(CURLcode result);

  std::chrono::milliseconds ResumeIn() const override;
  bool StopRequested() const { return status != nullptr && status->ShouldStop() != 0; }
  std::string HeaderValue(const std::string& name) const;
  // The body as it went to the still open file.
  std::string ReadBack() const;
  // Writes the bytes to the open sink file and closes it; false, and a
  // failed write noted, when either goes wrong.
  bool WriteAndClose(std::string_view bytes);
  void DropHeld();

  // How a transfer that did not complete failed, and why (http_failure.cpp).
  Failure FailureFor(CURLcode result) const;
  std::string ReasonFor(CURLcode result) const;

 private:
  CURLcode RunOnEngine();
  CURLcode RunHere();
  bool IsAheadOfRate() const;
  bool Keep(const char* data, std::size_t length);
  bool CountHeld(std::size_t length);
  void ReportProgress();
  bool TookTooLong(CURLcode result) const;
};

}  // namespace kestrine
