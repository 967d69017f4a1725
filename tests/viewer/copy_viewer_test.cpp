// The viewer of a copy, as a browser meets it over HTTP.
#include "viewer/copy_viewer.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <thread>
#include <vector>

#include "engine/journal/project_journal.h"
#include "runtime/string_utility.h"
#include "support/cli_runner.h"
#include "support/temp_folder.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Sends raw bytes and reads the reply until the server closes or a second
// passes without a byte.
std::string Exchange(int port, const std::string& request, int* fdOut = nullptr) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return "";
  timeval wait{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  if (fdOut != nullptr) {
    *fdOut = fd;
    return "";
  }
  std::string reply;
  char buffer[4096];
  for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
  ::close(fd);
  return reply;
}

std::string Get(int port, const std::string& target, const std::string& extra = "") {
  return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                            "\r\n" + extra + "Connection: close\r\n\r\n");
}

// A copy on disk, with what a hostile one might hold besides: links out,
// an empty folder.
class CopyViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Site() / "docs" / "intro");
    fs::create_directories(Site() / "empty");
    fs::create_directories(Site() / "pf");
    fs::create_directories(root.path() / "outside");
    const std::pair<const char*, const char*> files[] = {
        {"index.html", "<p>home</p>"},    {"docs/intro/index.html", "<p>intro</p>"},
        {"page.html", "<p>page</p>"},     {"app.mjs", "export {}"},
        {"engine.wasm", "\\0asm"},        {"data.json", "{}"},
        {"icon.svg", "<svg/>"},           {"font.woff2", "wOF2"},
        {"search-index.json_abc", "[1]"}, {"pf/x.pf_index", "idx"},
        {"15.3 x.html", "<p>item</p>"},
    };
    for (const auto& [name, body] : files) std::ofstream(Site() / name) << body;
    std::ofstream(root.path() / "outside" / "secret.txt") << "secret";
    fs::create_symlink(root.path() / "outside" / "secret.txt", Site() / "out.txt");
    fs::create_directory_symlink(root.path() / "outside", Site() / "outdir");
    // The journal says which file holds an address with a query.
    std::ofstream journal(Site() / "kestrine.journal", std::ios::binary);
    journal << ProjectJournal::Line({"P", "1", "http://h.example", "h.example", "site"}) << "\n"
            << ProjectJournal::Line({"Q", "0", "0", "http://h.example/search-index.json?_=abc",
                                     "search-index.json_abc"})
            << "\n"
            << ProjectJournal::Line({"O", "0", "1", "3", "", ""}) << "\n"
            << ProjectJournal::Line({"Q", "1", "0", "http://h.example/items/3", "15.3 x.html"})
            << "\n"
            << ProjectJournal::Line({"O", "1", "1", "3", "", ""}) << "\n";
  }
  fs::path Site() const { return root.path() / "h.example"; }
  std::u16string SiteWide() const { return StringUtility::FromUtf8(Site().string()); }

  TempFolder root;
};

TEST_F(CopyViewerTest, PathsAreTheSitesAndTypesWhatBrowsersNeed) {
  CopyViewer viewer(SiteWide());
  const int port = viewer.Start();
  ASSERT_GT(port, 0) << viewer.error();
  httplib::Client client("127.0.0.1", port);
  struct Case {
    std::string path;
    int status;
    std::string type;
    std::string body;
  };
  const Case cases[] = {
      {"/", 200, "text/html; charset=utf-8", "<p>home</p>"},
      {"/docs/intro/", 200, "text/html; charset=utf-8", "<p>intro</p>"},
      {"/page", 200, "text/html; charset=utf-8", "<p>page</p>"},
      {"/app.mjs", 200, "text/javascript", "export {}"},
      {"/engine.wasm", 200, "application/wasm", ""},
      {"/data.json", 200, "application/json", "{}"},
      {"/icon.svg", 200, "image/svg+xml", "<svg/>"},
      {"/font.woff2", 200, "font/woff2", "wOF2"},
      {"/pf/x.pf_index", 200, "application/octet-stream", "idx"},
      {"/search-index.json?_=abc", 200, "application/json", "[1]"},
  };
  for (const Case& c : cases) {
    const auto response = client.Get(c.path);
    ASSERT_TRUE(response) << c.path;
    EXPECT_EQ(response->status, c.status) << c.path;
    EXPECT_EQ(response->get_header_value("Content-Type"), c.type) << c.path;
    if (!c.body.empty()) {
      EXPECT_EQ(response->body, c.body) << c.path;
    }
  }
  // A folder's address without its "/" is sent to it, as a web server does.
  const auto folder = client.Get("/docs/intro");
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->status, 301);
  EXPECT_EQ(folder->get_header_value("Location"), "/docs/intro/");
}

// A page stored under another name than its address (an application's
// route kept as "15.3 x.html") is reached by the address, from where its
// relative references lead.
TEST_F(CopyViewerTest, APageStoredElsewhereIsReachedByItsOwnAddress) {
  CopyViewer viewer(SiteWide());
  const int port = viewer.Start();
  ASSERT_GT(port, 0) << viewer.error();
  httplib::Client client("127.0.0.1", port);
  const std::string sent = Get(port, "/items/3");
  EXPECT_TRUE(sent.starts_with("HTTP/1.1 302 ")) << sent;
  EXPECT_NE(sent.find("\r\nLocation: /15.3%20x.html\r\n"), std::string::npos) << sent;
  client.set_follow_location(true);
  const auto page = client.Get("/items/3");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->body, "<p>item</p>");
}

TEST_F(CopyViewerTest, NothingOutsideTheCopyNorAListingIsServed) {
  CopyViewer viewer(SiteWide());
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  for (const char* target :
       {"/../outside/secret.txt", "/%2e%2e/outside/secret.txt",
        "/docs/%2E%2E/%2e%2e/outside/secret.txt", "/out.txt", "/outdir/secret.txt", "/empty/",
        "/docs/", "/%5c..%5coutside", "/kestrine.journal/..", "/missing.html"}) {
    const CopyViewer::Answer answer = viewer.Resolve(target);
    EXPECT_NE(answer.status, 200) << target;
    // Raw over the socket too, where no client tidies the path first.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = std::string("GET ") + target +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    ::send(fd, request.data(), request.size(), 0);
    std::string reply;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
    ::close(fd);
    EXPECT_EQ(reply.find("secret"), std::string::npos) << target;
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), std::string::npos) << target << "\n" << reply;
  }
  // Only requests addressed to this machine's own name are answered.
  httplib::Client client("127.0.0.1", port);
  const auto rebound = client.Get("/", {{"Host", "attacker.example"}});
  ASSERT_TRUE(rebound);
  EXPECT_EQ(rebound->status, 403);
}

TEST_F(CopyViewerTest, TheCommandLineServesUntilItIsStopped) {
  std::string served;
  std::string url;
  const auto run = testing::RunCliUntil(
      {"--serve", Site().string(), "--no-browser"},
      [&](const std::string& output) {
        // "Serving FOLDER at http://127.0.0.1:PORT/"
        const std::size_t at = output.find(" at http://127.0.0.1:");
        if (at == std::string::npos || output.find('\n', at) == std::string::npos) return false;
        url = output.substr(at + 4, output.find('\n', at) - at - 4);
        const int port = std::stoi(url.substr(17));
        httplib::Client client("127.0.0.1", port);
        const auto response = client.Get("/page");
        if (!response) return false;
        served = response->body;
        return true;
      },
      SIGTERM);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(served, "<p>page</p>");
  EXPECT_NE(run.output.find("Serving " + Site().string() + " at " + url), std::string::npos)
      << run.output;
}

TEST_F(CopyViewerTest, TheEnginesOwnFilesAreNotServed) {
  std::ofstream(Site() / "download.log") << "Begin";
  std::ofstream(Site() / "~kestrine-part-Ab12Cd") << "half a file";
  CopyViewer viewer(SiteWide());
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  for (const char* target : {"/kestrine.journal", "/download.log", "/~kestrine-part-Ab12Cd",
                             "/%7Ekestrine-part-Ab12Cd"}) {
    EXPECT_EQ(Get(port, target).rfind("HTTP/1.1 404", 0), 0u) << target;
  }
  const std::string page = Get(port, "/page.html");
  EXPECT_EQ(page.rfind("HTTP/1.1 200", 0), 0u) << page;
  EXPECT_NE(page.find("X-Content-Type-Options: nosniff\r\n"), std::string::npos) << page;
}

TEST_F(CopyViewerTest, OnlyGetAndHeadWithBoundedHeadsAndNoBodyRead) {
  CopyViewer viewer(SiteWide());
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
  // A gigabyte announced: answered before the body, which is never read
  // (before, the whole body was taken into memory first).
  const std::string post =
      Exchange(port, "POST /page.html HTTP/1.1\r\n" + host + "Content-Length: 1000000000\r\n\r\n" +
                         std::string(64 * 1024, 'x'));
  EXPECT_EQ(post.rfind("HTTP/1.1 405", 0), 0u) << post;
  EXPECT_NE(post.find("Allow: GET, HEAD\r\n"), std::string::npos);
  EXPECT_NE(post.find("Connection: close\r\n"), std::string::npos);
  const std::string head =
      Exchange(port, "HEAD /page.html HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n");
  EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << head;
  EXPECT_NE(head.find("Content-Length: 11\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.find("<p>"), std::string::npos) << head;
  std::string manyHeaders;
  for (int i = 0; i < 500; ++i) manyHeaders += "X-" + std::to_string(i) + ": y\r\n";
  EXPECT_EQ(Get(port, "/page.html", manyHeaders).rfind("HTTP/1.1 4", 0), 0u);
  EXPECT_EQ(Get(port, "/page.html", "X-Long: " + std::string(64 * 1024, 'z') + "\r\n")
                .rfind("HTTP/1.1 431", 0),
            0u);
  EXPECT_EQ(Exchange(port, "GET /page.html HTTP/9.9\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
}

TEST_F(CopyViewerTest, SlowClientsDoNotStopOthersBeingAnswered) {
  CopyViewer viewer(SiteWide());
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  // Each sends half a head and then a line now and then, as long as it likes.
  std::vector<int> slow(64, -1);
  for (int& fd : slow) Exchange(port, "GET /page.html HTTP/1.1\r\nX-A: 1\r\n", &fd);
  for (int round = 0; round < 2; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int fd : slow) ::send(fd, "X-B: 2\r\n", 8, MSG_NOSIGNAL);
  }
  // Before, eight of them held every thread the server had.
  const std::string answer = Get(port, "/page.html");
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
  for (int fd : slow) ::close(fd);
}

TEST_F(CopyViewerTest, RangesAreAnsweredAsPartsSoMediaSeeks) {
  std::ofstream(Site() / "clip.webm") << "0123456789abcdefghij";
  CopyViewer viewer(SiteWide());
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  struct Case {
    std::string range;
    std::string status;
    std::string contentRange;
    std::string body;
  };
  const Case cases[] = {
      {"bytes=0-9", "206", "bytes 0-9/20", "0123456789"},
      {"bytes=15-", "206", "bytes 15-19/20", "fghij"},
      {"bytes=-3", "206", "bytes 17-19/20", "hij"},
      {"bytes=18-100", "206", "bytes 18-19/20", "ij"},
      {"bytes=20-", "416", "bytes */20", ""},
      {"bytes=-0", "416", "bytes */20", ""},
      {"bytes=5-2", "200", "", "0123456789abcdefghij"},
      {"bytes=0-1,4-5", "200", "", "0123456789abcdefghij"},
      {"lines=1-2", "200", "", "0123456789abcdefghij"},
  };
  for (const Case& c : cases) {
    const std::string reply = Get(port, "/clip.webm", "Range: " + c.range + "\r\n");
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 " + c.status) << c.range << "\n" << reply;
    const std::size_t body = reply.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos) << c.range;
    EXPECT_EQ(reply.substr(body + 4), c.body) << c.range;
    EXPECT_EQ(reply.find("Content-Range: " + c.contentRange + "\r\n") != std::string::npos,
              !c.contentRange.empty())
        << c.range << "\n"
        << reply;
    EXPECT_NE(reply.find("Content-Length: " + std::to_string(c.body.size()) + "\r\n"),
              std::string::npos)
        << c.range << "\n"
        << reply;
  }
}

}  // namespace
}  // namespace kestrine
