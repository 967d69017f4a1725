#include "runtime/net/http_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "encoding/charset_sniffer.h"
#include "support/gzip.h"
#include "support/temp_folder.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::TempFolder;
using testing::TestServer;

class RecordingStatus : public IDownloadStatus {
 public:
  void OnProgress(std::int64_t total, std::int64_t received) override {
    std::lock_guard lock(mutex);
    calls.push_back({total, received, Clock::now()});
  }
  int ShouldStop() override { return stop.load() ? 1 : 0; }

  struct Call {
    std::int64_t total, received;
    Clock::time_point at;
  };
  std::mutex mutex;
  std::vector<Call> calls;
  std::atomic<bool> stop{false};
};

int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// The body as text, as a reader of pages and style sheets decodes it.
DecodedBody Decoded(const HttpClient& client) {
  const std::string type = client.GetHeaderValue("Content-Type");
  const BodyKind kind = type.rfind("text/css", 0) == 0 ? BodyKind::StyleSheet : BodyKind::Page;
  return CharsetSniffer::Decode(client.IsBodyHeld() ? client.GetMemoryBody() : client.GetBody(),
                                type, kind);
}

class HttpClientTest : public ::testing::Test {
 protected:
  struct Result {
    int code;
    std::int64_t length;
    std::string body;
    bool fileExists;
    HttpClient::Failure failure;
  };

  Result Fetch(const std::string& path, int timeoutMs = 5000, IDownloadStatus* status = nullptr) {
    HttpClient client;
    return FetchWith(client, server.WideUrl(path), timeoutMs, status);
  }

  Result FetchWith(HttpClient& client, const std::u16string& address, int timeoutMs,
                   IDownloadStatus* status) {
    const auto file = folder.path() / "body";
    client.SetTimeout(timeoutMs);
    client.SetDownloadStatus(status);
    client.SinkToFile(folder.Wide("body"));
    client.Navigate2(address);
    return {client.GetReturnCode(), client.GetContentLength(), TempFolder::Read(file),
            std::filesystem::exists(file), client.GetFailure()};
  }

  TempFolder folder;
  TestServer server;
};

TEST_F(HttpClientTest, StatusCodesAndBodiesWithAndWithoutLength) {
  auto& s = server.server();
  s.Get("/ok", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("hello", "application/octet-stream");
  });
  s.Get("/chunked", [](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("application/octet-stream",
                                   [](std::size_t, httplib::DataSink& sink) {
                                     sink.write("abc", 3);
                                     sink.write("def", 3);
                                     sink.done();
                                     return true;
                                   });
  });
  s.Get("/missing", [](const httplib::Request&, httplib::Response& r) { r.status = 404; });
  s.Get("/broken", [](const httplib::Request&, httplib::Response& r) { r.status = 500; });

  const Result ok = Fetch("/ok");
  EXPECT_EQ(ok.code, 200);
  EXPECT_EQ(ok.length, 5);
  EXPECT_EQ(ok.body, "hello");
  const Result chunked = Fetch("/chunked");
  EXPECT_EQ(chunked.code, 200);
  EXPECT_LT(chunked.length, 1);
  EXPECT_EQ(chunked.body, "abcdef");
  EXPECT_EQ(Fetch("/missing").code, 404);
  EXPECT_EQ(Fetch("/broken").code, 500);
}

TEST_F(HttpClientTest, RedirectsAreFollowedAndLoopsEnd) {
  auto& s = server.server();
  s.Get("/a", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/b"); });
  s.Get("/b", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/c"); });
  s.Get("/c",
        [](const httplib::Request&, httplib::Response& r) { r.set_content("end", "text/plain"); });
  s.Get("/loop", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/loop"); });
  s.Get("/ftp",
        [](const httplib::Request&, httplib::Response& r) { r.set_redirect("ftp://127.0.0.1/x"); });

  HttpClient client;
  const Result chain = FetchWith(client, server.WideUrl("/a"), 5000, nullptr);
  EXPECT_EQ(chain.code, 200);
  EXPECT_EQ(chain.body, "end");
  EXPECT_EQ(client.GetLocationURL(), server.WideUrl("/c"));
  EXPECT_EQ(Fetch("/loop").failure, HttpClient::Failure::TooManyRedirects);
  EXPECT_NE(Fetch("/ftp").failure, HttpClient::Failure::None);

  HttpClient direct;
  FetchWith(direct, server.WideUrl("/c"), 5000, nullptr);
  EXPECT_EQ(direct.GetLocationURL(), server.WideUrl("/c"));
}

TEST_F(HttpClientTest, IncompleteTransfersAnswerFailureCodes) {
  auto& s = server.server();
  s.Get("/truncated", [](const httplib::Request&, httplib::Response& r) {
    r.set_content_provider(1000, "application/octet-stream",
                           [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                             if (offset > 0) return false;  // drop the connection half-way
                             sink.write(std::string(500, 'x').data(), 500);
                             return true;
                           });
  });
  EXPECT_EQ(Fetch("/truncated").failure, HttpClient::Failure::ConnectionLost);

  HttpClient client;
  const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
  const Result result =
      FetchWith(client, std::u16string(refused.begin(), refused.end()), 2000, nullptr);
  EXPECT_EQ(result.failure, HttpClient::Failure::ConnectionRefused);
}

TEST_F(HttpClientTest, StalledServerEndsAtTheTimeoutButSteadyBodyIsNotCut) {
  std::atomic<bool> release{false};
  auto& s = server.server();
  s.Get("/stall", [&release](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("application/octet-stream",
                                   [&release](std::size_t offset, httplib::DataSink& sink) {
                                     if (offset == 0) {
                                       sink.write("x", 1);
                                       return true;
                                     }
                                     for (int i = 0; i < 120 && !release; ++i) {
                                       std::this_thread::sleep_for(50ms);
                                     }
                                     sink.done();
                                     return true;
                                   });
  });
  // 4 KB every 250 ms for about 3 s: well above 1 KB/s, longer than the
  // time-out. (libcurl samples the speed once a second, so time-outs of a
  // single second are too coarse to test against.)
  s.Get("/steady", [](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("application/octet-stream",
                                   [](std::size_t offset, httplib::DataSink& sink) {
                                     if (offset >= 12 * 4096) {
                                       sink.done();
                                       return true;
                                     }
                                     std::this_thread::sleep_for(250ms);
                                     sink.write(std::string(4096, 's').data(), 4096);
                                     return true;
                                   });
  });

  const auto start = Clock::now();
  EXPECT_EQ(Fetch("/stall", 2000).failure, HttpClient::Failure::TimedOut);
  EXPECT_LT(Clock::now() - start, 4500ms);
  release = true;

  const Result steady = Fetch("/steady", 2000);
  EXPECT_EQ(steady.code, 200);
  EXPECT_EQ(steady.body.size(), 12u * 4096);
}

TEST_F(HttpClientTest, ShouldStopEndsTheTransferPromptlyAndProgressIsThrottled) {
  std::atomic<bool> release{false};
  auto& s = server.server();
  s.Get("/slow", [&release](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("application/octet-stream",
                                   [&release](std::size_t offset, httplib::DataSink& sink) {
                                     if (release || offset > 4'000'000) {
                                       sink.done();
                                       return true;
                                     }
                                     std::this_thread::sleep_for(10ms);
                                     sink.write(std::string(2048, 'p').data(), 2048);
                                     return true;
                                   });
  });

  RecordingStatus status;
  std::thread stopper([&status] {
    std::this_thread::sleep_for(1500ms);
    status.stop = true;
  });
  const auto start = Clock::now();
  const Result result = Fetch("/slow", 5000, &status);
  const auto elapsed = Clock::now() - start;
  stopper.join();
  release = true;
  EXPECT_EQ(result.failure, HttpClient::Failure::Stopped);
  EXPECT_LT(elapsed, 2000ms);  // stop seen within half a second
  ASSERT_GE(status.calls.size(), 3u);
  // Roughly 150 chunks arrived; progress was reported far fewer times.
  EXPECT_LE(status.calls.size(), 20u);
  for (std::size_t i = 2; i < status.calls.size() - 1; ++i) {
    EXPECT_GE(status.calls[i].at - status.calls[i - 1].at, 90ms);
  }
}

TEST_F(HttpClientTest, ProgressEndsWithTheFullCount) {
  server.server().Get("/data", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(std::string(300000, 'd'), "application/octet-stream");
  });
  RecordingStatus status;
  const Result result = Fetch("/data", 5000, &status);
  EXPECT_EQ(result.code, 200);
  ASSERT_FALSE(status.calls.empty());
  EXPECT_EQ(status.calls.back().received, 300000);
  EXPECT_EQ(status.calls.back().total, 300000);
}

TEST_F(HttpClientTest, GzipBodiesAreDecodedAndBombsStopped) {
  const std::string page(200000, 'g');
  const std::string packed = testing::Gzipped(page);
  const std::string bomb = testing::Gzipped(std::string(80 * 1024 * 1024, '\0'));
  auto& s = server.server();
  s.Get("/gz", [&packed](const httplib::Request&, httplib::Response& r) {
    r.set_header("Content-Encoding", "gzip");
    r.set_content(packed, "application/octet-stream");
  });
  s.Get("/bomb", [&bomb](const httplib::Request&, httplib::Response& r) {
    r.set_header("Content-Encoding", "gzip");
    r.set_content(bomb, "application/octet-stream");
  });
  const Result gz = Fetch("/gz");
  EXPECT_EQ(gz.code, 200);
  EXPECT_EQ(gz.body, page);
  const Result blown = Fetch("/bomb");
  EXPECT_NE(blown.failure, HttpClient::Failure::None);
  EXPECT_LE(blown.body.size(), 65u * 1024 * 1024);
}

TEST_F(HttpClientTest, CharsetDiscoveryAndSource) {
  auto& s = server.server();
  s.Get("/header", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("\xD6\xD0\xCE\xC4", "text/html; charset=GBK");
  });
  s.Get("/meta", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<html><head><meta charset=\"shift_jis\"></head>\x82\xA0", "text/html");
  });
  s.Get("/httpequiv", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">\xF0",
                  "text/html");
  });
  s.Get("/sheet", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("@charset \"windows-1252\";\nb{content:\"\xE9\"}", "text/css");
  });
  s.Get("/plain", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("caf\xC3\xA9", "text/html");
  });
  s.Get("/latin", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("caf\xE9 \x81", "text/html");
  });
  s.Get("/bom", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("\xEF\xBB\xBFok", "text/html; charset=iso-8859-1");
  });

  struct Case {
    std::string path, charset;
    std::u16string textEnd;
  };
  const Case cases[] = {
      {"/header", "GBK", u"\u4e2d\u6587"}, {"/meta", "shift_jis", u"\u3042"},
      {"/httpequiv", "koi8-r", u"\u041f"}, {"/sheet", "windows-1252", u"\u00e9\"}"},
      {"/plain", "utf-8", u"caf\u00e9"},   {"/latin", "iso-8859-1", u"caf\u00e9 \u0081"},
      {"/bom", "utf-8", u"\uFEFFok"},
  };
  for (const Case& c : cases) {
    HttpClient client;
    FetchWith(client, server.WideUrl(c.path), 5000, nullptr);
    const DecodedBody decoded = Decoded(client);
    EXPECT_EQ(decoded.charset, c.charset) << c.path;
    const std::u16string source = decoded.text;
    ASSERT_GE(source.size(), c.textEnd.size()) << c.path;
    EXPECT_EQ(source.substr(source.size() - c.textEnd.size()), c.textEnd) << c.path;
  }
}

TEST_F(HttpClientTest, HeadersOfTheFinalResponse) {
  auto& s = server.server();
  s.Get("/r", [](const httplib::Request&, httplib::Response& r) {
    r.set_header("X-Step", "first");
    r.set_redirect("/t");
  });
  s.Get("/t",
        [](const httplib::Request&, httplib::Response& r) { r.set_content("x", "text/css"); });
  HttpClient client;
  FetchWith(client, server.WideUrl("/r"), 5000, nullptr);
  EXPECT_EQ(client.GetHeaderValue("content-type"), "text/css");
  EXPECT_EQ(client.GetHeaderValue("X-Step"), "");
}

TEST_F(HttpClientTest, HeldPagesWaitForTheCallerAndEverythingElseGoesStraightToTheFile) {
  const std::string large(33 * 1024 * 1024, 'x');
  auto& s = server.server();
  s.Get("/page", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<p>caf\xC3\xA9</p>", "text/html; charset=utf-8");
  });
  s.Get("/large", [&large](const httplib::Request&, httplib::Response& r) {
    r.set_content(large, "text/css");
  });
  s.Get("/image", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("GIF89a", "image/gif");
  });
  const auto file = folder.path() / "body";
  auto fetch = [&](const std::string& path) {
    auto client = std::make_unique<HttpClient>();
    client->HoldTextBodies(true);
    client->SinkToFile(folder.Wide("body"));
    client->Navigate2(server.WideUrl(path));
    return client;
  };

  // A page is read from memory and written only when asked.
  auto page = fetch("/page");
  EXPECT_EQ(Decoded(*page).text, u"<p>caf\u00e9</p>");
  EXPECT_EQ(TempFolder::Read(file), "");
  EXPECT_TRUE(page->StoreBody());
  EXPECT_EQ(TempFolder::Read(file), "<p>caf\xC3\xA9</p>");
  page = fetch("/page");
  EXPECT_TRUE(page->StoreText("<p>new</p>"));
  EXPECT_TRUE(page->StoreBody());  // nothing more after the text
  EXPECT_EQ(TempFolder::Read(file), "<p>new</p>");

  // Beyond the held size the body goes to the file as it comes, and a
  // shorter text still replaces all of it.
  auto sheet = fetch("/large");
  EXPECT_EQ(TempFolder::Read(file).size(), large.size());
  EXPECT_EQ(Decoded(*sheet).text.size(), large.size());
  EXPECT_TRUE(sheet->StoreText("a{}"));
  EXPECT_EQ(TempFolder::Read(file), "a{}");

  // Other types are never held.
  auto image = fetch("/image");
  EXPECT_EQ(TempFolder::Read(file), "GIF89a");
  EXPECT_TRUE(image->StoreBody());
  EXPECT_EQ(TempFolder::Read(file), "GIF89a");
}

TEST_F(HttpClientTest, AMemorySinkKeepsItsBoundAndCountsWhatCameAsComplete) {
  server.server().Get("/big", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(std::string(3 * 1024 * 1024, 'b'), "text/plain");
  });
  HttpClient client;
  client.SinkToMemory(1000);
  EXPECT_TRUE(client.Navigate2(server.WideUrl("/big")));
  EXPECT_EQ(client.GetReturnCode(), 200);
  EXPECT_EQ(client.GetMemoryBody(), std::string(1000, 'b'));
}

TEST_F(HttpClientTest, AFullDiskSaysSo) {
  server.server().Get("/file", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(std::string(100000, 'f'), "application/octet-stream");
  });
  HttpClient client;
  client.SinkToFile(u"/dev/full");
  client.Navigate2(server.WideUrl("/file"));
  EXPECT_EQ(client.GetFailure(), HttpClient::Failure::LocalWrite);
  EXPECT_EQ(client.GetFailureReason(), "cannot write the local file: No space left on device");
}

TEST_F(HttpClientTest, ATransferLongerThanItsTimeLimitFails) {
  server.server().Get("/slow", [](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("text/plain", [](std::size_t, httplib::DataSink& sink) {
      std::this_thread::sleep_for(200ms);
      return sink.write("0123456789", 10);
    });
  });
  HttpClient client;
  HttpClient::RequestOptions options;
  options.maxTimeSeconds = 1;
  client.SetRequestOptions(options);
  const auto start = std::chrono::steady_clock::now();
  const Result result = FetchWith(client, server.WideUrl("/slow"), 5000, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(result.failure, HttpClient::Failure::TookTooLong);
  EXPECT_EQ(client.GetFailureReason(), "took longer than 1 s");
}

TEST(HttpClientFile, AnUnwritableSinkIsAnErrorThatSaysSo) {
  HttpClient client;
  const Status sink = client.SinkToFile(u"/nonexistent-folder/sub/file");
  ASSERT_FALSE(sink);
  EXPECT_NE(sink.error().message.find("cannot open the file for writing"), std::string::npos);
  EXPECT_FALSE(client.Navigate2(u"http://127.0.0.1:1/"));
  EXPECT_EQ(client.GetFailure(), HttpClient::Failure::LocalWrite);
}

}  // namespace
}  // namespace kestrine
