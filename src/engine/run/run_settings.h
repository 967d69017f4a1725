#pragma once

#include "config/download_options.h"
#include "runtime/net/http_client.h"

namespace kestrine {

// What a run reads of the settings, taken once when it starts: a dialog that
// changes the settings meanwhile never reaches the run's threads.
struct RunSettings {
  DownloadOptions options;
  int timeOutSeconds = 10;
  int workers = 5;  // connections to a host, 1 to 15
};

// The client options a transfer of a run uses, with the rate limit shared
// out over `transfers` at once.
HttpClient::RequestOptions RequestOptionsFor(const DownloadOptions& options, int transfers);

}  // namespace kestrine
