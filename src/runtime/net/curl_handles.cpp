#include "runtime/net/curl_handles.h"

#include <cstdlib>
#include <mutex>

namespace kestrine {

namespace {

std::mutex shareLocks[CURL_LOCK_DATA_LAST];

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) { shareLocks[data].lock(); }
void UnlockShare(CURL*, curl_lock_data data, void*) { shareLocks[data].unlock(); }

CURLSH* MakeShare() {
  CURLSH* share = curl_share_init();
  curl_share_setopt(share, CURLSHOPT_LOCKFUNC, LockShare);
  curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, UnlockShare);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  return share;
}

// A copy meets hundreds of hosts, and a resolver that drops a query costs
// the system's retry time for each: five seconds by default, a second
// here. Options the user set for the resolver stay as they are.
void TuneResolver() { setenv("RES_OPTIONS", "timeout:1 attempts:3", 0); }

}  // namespace

bool CurlHandles::GlobalInit() {
  static const bool ok = [] {
    TuneResolver();
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  }();
  return ok;
}

CurlHandles& CurlHandles::ForThisThread(bool freshEasy) {
  GlobalInit();
  thread_local CurlHandles handles;
  // Every option goes back to its default, so a transfer carries no
  // settings over from the last one; connections live in the engine.
  // Cookies are state a reset keeps, so a transfer that sends them gets a
  // new handle.
  if (freshEasy) {
    curl_easy_cleanup(handles.easy_);
    handles.easy_ = curl_easy_init();
  } else {
    curl_easy_reset(handles.easy_);
  }
  return handles;
}

CURLSH* CurlHandles::Share() {
  // Lives for the process: threads may still hold handles that use it when
  // static objects are torn down.
  static CURLSH* share = MakeShare();
  return share;
}

CurlHandles::CurlHandles() : easy_(curl_easy_init()) {}

CURLM* CurlHandles::multi() {
  if (multi_ == nullptr) multi_ = curl_multi_init();
  return multi_;
}

CurlHandles::~CurlHandles() {
  curl_easy_cleanup(easy_);
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
}

}  // namespace kestrine
