#pragma once

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temp_folder.h"
#include "support/test_server.h"

namespace kestrine::testing {

// What a test certificate is made out for, and when it is valid (seconds
// from now).
struct CertificateShape {
  long validFrom = -60;
  long validUntil = 24 * 3600;
  const char* name = "127.0.0.1";
  const char* altName = "IP:127.0.0.1";
};

// A self-signed certificate for 127.0.0.1, made afresh for each test and
// written as PEM files into a temporary folder.
class SelfSignedCertificate {
 public:
  explicit SelfSignedCertificate(const CertificateShape& shape = {}) {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), shape.validFrom);
    X509_gmtime_adj(X509_getm_notAfter(cert), shape.validUntil);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(shape.name), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    AddExtension(cert, NID_subject_alt_name, shape.altName);
    AddExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
    X509_sign(cert, key, EVP_sha256());
    WritePem(CertificatePath(), [&](FILE* f) { PEM_write_X509(f, cert); });
    WritePem(KeyPath(),
             [&](FILE* f) { PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr); });
    X509_free(cert);
    EVP_PKEY_free(key);
  }
  std::string CertificatePath() const { return (folder_.path() / "cert.pem").string(); }
  std::string KeyPath() const { return (folder_.path() / "key.pem").string(); }

 private:
  static void AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
  }
  template <typename Write>
  static void WritePem(const std::string& path, Write write) {
    FILE* file = std::fopen(path.c_str(), "w");
    write(file);
    std::fclose(file);
  }

  TempFolder folder_;
};

// A real HTTPS server on 127.0.0.1 with that certificate.
class TlsTestServer {
 public:
  explicit TlsTestServer(const CertificateShape& shape = {})
      : certificate_(shape),
        server_(certificate_.CertificatePath().c_str(), certificate_.KeyPath().c_str()) {}

  httplib::SSLServer& server() { return server_; }
  int port() const { return Serving().port(); }
  std::string CertificatePath() const { return certificate_.CertificatePath(); }
  std::string Url(const std::string& path, const std::string& scheme = "https") const {
    return Serving().Url(path, scheme);
  }
  std::u16string WideUrl(const std::string& path, const std::string& scheme = "https") const {
    const std::string url = Url(path, scheme);
    return std::u16string(url.begin(), url.end());
  }

 private:
  // Serving starts when the address is first asked for, as TestServer's.
  const ServingThread<httplib::SSLServer>& Serving() const {
    if (!serving_) serving_.emplace(server_);
    return *serving_;
  }

  SelfSignedCertificate certificate_;
  mutable httplib::SSLServer server_;
  mutable std::optional<ServingThread<httplib::SSLServer>> serving_;
};

}  // namespace kestrine::testing
