// How a transfer that did not complete failed, as a kind and as a few words.
#include <cstring>
#include <string>

#include "runtime/net/http_transfer.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

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

HttpClient::Failure FailureOfCode(CURLcode result) {
  using Failure = HttpClient::Failure;
  switch (result) {
    case CURLE_OK:
      return Failure::None;
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
    case CURLE_FILESIZE_EXCEEDED:
      return Failure::TooLarge;
    default:
      return Failure::Other;
  }
}

}  // namespace

HttpClient::Failure HttpClient::Transfer::FailureFor(CURLcode result) const {
  if (stopped) return Failure::Stopped;
  // A body kept in memory ends where its room ends; what came is complete.
  if (memoryFull && responseStatus > 0) return Failure::None;
  if (TookTooLong(result)) return Failure::TookTooLong;
  if (tooLarge) return Failure::TooLarge;
  if (writeFailed) return Failure::LocalWrite;
  if (bombStopped) return Failure::Other;
  if (result == CURLE_OK && responseStatus <= 0) return Failure::ConnectionLost;
  return FailureOfCode(result);
}

std::string HttpClient::Transfer::ReasonFor(CURLcode result) const {
  switch (failure) {
    case Failure::Stopped:
      return "stopped";
    case Failure::TooLarge:
      return "larger than the file size limit of " + std::to_string(options.maxFileSize) + " bytes";
    case Failure::LocalWrite:
      return "cannot write the local file" +
             (writeError != 0 ? ": " + std::string(std::strerror(writeError)) : std::string());
    case Failure::TookTooLong:
      return "took longer than " + std::to_string(options.maxTimeSeconds) + " s";
    case Failure::None:
      return "HTTP " + std::to_string(responseStatus);
    default:
      break;
  }
  if (bombStopped) return "the body unpacks to far more than was sent";
  switch (result) {
    case CURLE_OK:
      return "no response";
    case CURLE_OPERATION_TIMEDOUT:
      return "timed out after " + std::to_string((timeoutMs + 999) / 1000) + " s";
    case CURLE_TOO_MANY_REDIRECTS:
      return "more than 20 redirects";
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

}  // namespace kestrine
