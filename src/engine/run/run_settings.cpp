#include "engine/run/run_settings.h"

#include <algorithm>

namespace kestrine {

HttpClient::RequestOptions RequestOptionsFor(const DownloadOptions& options, int transfers) {
  HttpClient::RequestOptions request;
  request.caCertificate = options.caCertificate;
  request.checkCertificate = options.checkCertificate;
  request.userAgent = options.userAgent.empty() ? DefaultUserAgent() : options.userAgent;
  request.headers = options.headers;
  request.cookieFile = options.loadCookies;
  request.maxReceiveSpeed =
      options.limitRate > 0 ? std::max<std::int64_t>(1, options.limitRate / std::max(1, transfers))
                            : 0;
  request.maxFileSize = options.maxFileSize;
  request.maxTimeSeconds = options.maxTime;
  return request;
}

}  // namespace kestrine
