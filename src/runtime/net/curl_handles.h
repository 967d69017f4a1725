#pragma once

// Include this header instead of <curl/curl.h>, and only from the HTTP
// client's own sources.
#include <curl/curl.h>

namespace kestrine {

// The libcurl easy handle one thread reuses from download to download, the
// multi handle that keeps this thread's own connections (plain http, which
// never multiplexes, runs on the thread that asks for it), and what all
// transfers share: DNS answers and TLS sessions. Other connections live in
// the transfer engine's multi handle.
class CurlHandles {
 public:
  // This thread's handles, made on first use, the easy handle reset or,
  // when asked for, made anew.
  static CurlHandles& ForThisThread(bool freshEasy = false);
  // Initialises libcurl once per process; false when that failed.
  static bool GlobalInit();

  CURL* easy() const { return easy_; }
  CURLM* multi();
  static CURLSH* Share();

  ~CurlHandles();

 private:
  CurlHandles();
  CURL* easy_;
  CURLM* multi_ = nullptr;
};

}  // namespace kestrine
