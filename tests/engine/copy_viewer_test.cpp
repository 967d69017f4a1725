// The viewer of a copy, as a browser meets it over HTTP.
#include "engine/copy_viewer.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>

#include "engine/project_journal.h"
#include "runtime/string_utility.h"
#include "support/cli_runner.h"
#include "support/temp_folder.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

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
            << ProjectJournal::Line({"O", "0", "1", "3", "", ""}) << "\n";
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

}  // namespace
}  // namespace kestrine
