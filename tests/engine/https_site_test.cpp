// End to end over https: a site served with a certificate made by the test.
#include <gtest/gtest.h>

#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/tls_server.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using testing::EngineHarness;
using testing::TempFolder;
using testing::TlsTestServer;

class HttpsSite : public ::testing::Test {
 protected:
  HttpsSite() {
    const std::string http = server_.Url("/b.html", "http");
    const std::string https = server_.Url("/b.html");
    server_.server().Get(
        "/index.html", [this, http, https](const httplib::Request&, httplib::Response& r) {
          r.set_content("<a href=\"" + https + "\">b</a> <a href=\"" + http + "\">b again</a>" +
                            " <img src=\"img/logo.png\"> <a href=\"//127.0.0.1:" +
                            std::to_string(server_.port()) + "/c.html\">c</a>",
                        "text/html");
        });
    for (const char* page : {"/b.html", "/c.html"}) {
      server_.server().Get(page, [](const httplib::Request&, httplib::Response& r) {
        r.set_content("<p>page</p>", "text/html");
      });
    }
    server_.server().Get("/img/logo.png", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("png", "image/png");
    });
  }
  fs::path SiteFolder(const EngineHarness& engine) const {
    return engine.Out() / ("127.0.0.1-" + std::to_string(server_.port()));
  }
  TlsTestServer server_;
};

TEST_F(HttpsSite, IsCopiedWithItsTrustAnchorAndBothSchemesShareAFile) {
  EngineHarness engine;
  DownloadOptions options;
  options.caCertificate = server_.CertificatePath();
  engine.project->SetOptions(options);
  engine.Start(server_.WideUrl("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const fs::path folder = SiteFolder(engine);
  for (const char* file : {"index.html", "b.html", "c.html", "img/logo.png"}) {
    EXPECT_TRUE(fs::exists(folder / file)) << file;
  }
  // http and https of one address are one download and one file.
  EXPECT_EQ(engine.list.RowCount(), 4u);
  const std::string index = TempFolder::Read(folder / "index.html");
  EXPECT_EQ(index.find("https://"), std::string::npos) << index;
  // Both links were written to the one local file.
  const std::size_t first = index.find("href=\"b.html\"");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(index.find("href=\"b.html\"", first + 1), std::string::npos);
  for (const auto& row : engine.list.Rows()) {
    EXPECT_EQ(row[kProgressColumn], u"Finished") << StringUtility::ToUtf8(row[kAddressColumn]);
  }
}

TEST_F(HttpsSite, AnUntrustedCertificateIsAFailureThatSaysWhy) {
  EngineHarness engine;
  engine.Start(server_.WideUrl("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const auto rows = engine.list.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][kProgressColumn], u"Failure");
  EXPECT_EQ(rows[0][kReasonColumn], u"certificate not trusted (self-signed)");
  EXPECT_FALSE(fs::exists(SiteFolder(engine) / "index.html"));
}

TEST_F(HttpsSite, CertificateChecksCanBeTurnedOff) {
  EngineHarness engine;
  DownloadOptions options;
  options.checkCertificate = false;
  engine.project->SetOptions(options);
  engine.Start(server_.WideUrl("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  EXPECT_TRUE(fs::exists(SiteFolder(engine) / "b.html"));
}

TEST(HttpsCertificates, EachFailedCheckIsNamed) {
  struct Case {
    testing::CertificateShape shape;
    std::u16string reason;
  };
  const Case cases[] = {
      {{-2 * 24 * 3600, -24 * 3600}, u"certificate not trusted (expired)"},
      {{-60, 24 * 3600, "example.org", "DNS:example.org"},
       u"certificate not trusted (made out for another host name)"},
  };
  for (const Case& c : cases) {
    TlsTestServer server(c.shape);
    server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<p>x</p>", "text/html");
    });
    EngineHarness engine;
    DownloadOptions options;
    options.caCertificate = server.CertificatePath();
    engine.project->SetOptions(options);
    engine.Start(server.WideUrl("/index.html"), DownloadMode::DuplicateSite);
    engine.Wait();
    const auto rows = engine.list.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][kReasonColumn], c.reason);
  }
}

}  // namespace
}  // namespace kestrine
