#pragma once

// Include this header instead of <curl/curl.h>, and only from the HTTP
// client's own sources.
#include <curl/curl.h>

namespace kestrine {

// The libcurl handles one thread reuses from download to download, so
// connections to a host stay open between them; DNS answers are shared by
// all threads.
class CurlHandles {
 public:
  // This thread's handles, made on first use, the easy handle reset or,
  // when asked for, made anew.
  static CurlHandles& ForThisThread(bool freshEasy = false);
  // Initialises libcurl once per process; false when that failed.
  static bool GlobalInit();

  CURLM* multi() const { return multi_; }
  CURL* easy() const { return easy_; }
  static CURLSH* Share();

  ~CurlHandles();

 private:
  CurlHandles();
  CURLM* multi_;
  CURL* easy_;
};

}  // namespace kestrine
