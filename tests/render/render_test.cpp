#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "render/chromium_process.h"
#include "render/chromium_renderer.h"
#include "support/cli_runner.h"
#include "support/config_home.h"
#include "support/test_server.h"
#include "viewer/copy_viewer.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFixture(const std::string& name) {
  std::ifstream in(fs::path(KESTRINE_RENDER_APP) / name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A single-page application as a framework would serve it: one shell for
// every route (the history fallback), a module script, and its text only
// in JSON answers; the list's pages come as the reader scrolls.
void ServeTheApp(httplib::Server& server) {
  static const std::string shell = ReadFixture("index.html");
  const auto file = [&server](const std::string& path, const std::string& name,
                              const std::string& type) {
    server.Get(path, [body = ReadFixture(name), type](const httplib::Request&,
                                                      httplib::Response& response) {
      response.set_content(body, type);
    });
  };
  file("/app.js", "app.js", "text/javascript");
  file("/style.css", "style.css", "text/css");
  file("/img/bird.svg", "bird.svg", "image/svg+xml");
  // No /favicon.ico: the browser's own probe for one must not become a
  // failure of the copy.
  server.Get("/api/about", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(R"({"title":"Kestrels","text":"kestrelhome lives here"})",
                         "application/json");
  });
  server.Get("/api/items", [](const httplib::Request& request, httplib::Response& response) {
    const int page = std::clamp(std::atoi(request.get_param_value("page").c_str()), 1, 3);
    std::string items;
    for (int id = page * 3 - 2; id <= page * 3; ++id) {
      if (!items.empty()) items += ",";
      items += "{\"id\":" + std::to_string(id) + ",\"name\":\"harrierpage" + std::to_string(page) +
               " item " + std::to_string(id) + "\"}";
    }
    response.set_content(
        "{\"items\":[" + items + "],\"next\":" + (page < 3 ? "true" : "false") + "}",
        "application/json");
  });
  server.Get(
      R"(/api/item/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string id = request.matches[1];
        response.set_content("{\"name\":\"Item " + id + "\",\"text\":\"merlinitem" + id + "\"}",
                             "application/json");
      });
  for (const char* route : {"/", "/items", R"(/items/\d+)"}) {
    server.Get(route, [](const httplib::Request&, httplib::Response& response) {
      response.set_content(shell, "text/html; charset=utf-8");
    });
  }
}

// Every stored file's text, by its name in the copy.
std::vector<std::pair<std::string, std::string>> StoredFiles(const fs::path& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    files.emplace_back(fs::relative(entry.path(), folder).string(), text.str());
  }
  return files;
}

// The stored file holding `word`, or "".
std::string FileWith(const std::vector<std::pair<std::string, std::string>>& files,
                     const std::string& word) {
  for (const auto& [name, text] : files) {
    if (text.find(word) != std::string::npos) return name;
  }
  return "";
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ChromiumProcess::Executable().empty()) {
      GTEST_SKIP() << "Chromium is not installed (apt-get install chromium)";
    }
  }
  fs::path Out() const { return home.folder().path() / "out"; }
  fs::path Site() const { return Out() / ("127.0.0.1-" + std::to_string(server.port())); }

  testing::ConfigHome home;
  testing::TestServer server;
};

TEST_F(RenderTest, AnApplicationsPagesAreKeptAsItShowsThemWithWhatTheyFetched) {
  ServeTheApp(server.server());
  const testing::CliRun run =
      testing::RunCli({server.Url("/"), "-P", Out().string(), "--render-timeout", "20"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("in a browser"), std::string::npos) << run.output;
  const auto files = StoredFiles(Site());
  // Text that only JSON held, pages of the list that came as it scrolled,
  // a route that only the application's links lead to, a lazy image.
  for (const char* word : {"kestrelhome lives here", "harrierpage1 item 1", "harrierpage3 item 9",
                           "owlend", "merlinitem4", "<circle"}) {
    EXPECT_NE(FileWith(files, word), "") << word;
  }
  // Each stored page shows from disk without its scripts: they are inert,
  // nothing is left that file:// refuses, and the stored text is the
  // rendered one.
  const std::string homePage = FileWith(files, "kestrelhome lives here");
  ASSERT_NE(homePage, "");
  for (const auto& [name, text] : files) {
    if (name != homePage) continue;
    EXPECT_TRUE(text.starts_with("<!DOCTYPE html>")) << text.substr(0, 80);
    EXPECT_NE(text.find("type=\"text/kestrine-inert\""), std::string::npos);
    EXPECT_EQ(text.find("crossorigin"), std::string::npos);
    EXPECT_EQ(text.find(" type=\"module\""), std::string::npos);
    EXPECT_EQ(text.find("http://127.0.0.1"), std::string::npos) << "left to the web";
  }
}

TEST_F(RenderTest, NeverKeepsTheShellAndAutoLeavesPagesOfText) {
  ServeTheApp(server.server());
  std::string text;
  for (int i = 0; i < 80; ++i) text += "word ";
  server.server().Get("/text", [&text](const httplib::Request&, httplib::Response& response) {
    response.set_content("<p>" + text + "</p><script src=\"/app.js\"></script>" +
                             "<script src=\"/search.js\"></script>",
                         "text/html; charset=utf-8");
  });
  // A shell only a script's strings name (a search's result list) is a
  // part of the page that runs it: stored as served.
  server.server().Get("/search.js", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("var page = \"/results.html\"; frames[0].location = page;",
                         "text/javascript");
  });
  server.server().Get("/results.html", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(ReadFixture("index.html"), "text/html; charset=utf-8");
  });
  const testing::CliRun never =
      testing::RunCli({server.Url("/"), "-P", (Out() / "never").string(), "--render", "never"});
  ASSERT_EQ(never.status, 0) << never.output;
  EXPECT_EQ(never.output.find("in a browser"), std::string::npos) << never.output;
  const auto shell = StoredFiles(Out() / "never");
  EXPECT_EQ(FileWith(shell, "kestrelhome"), "");
  EXPECT_NE(FileWith(shell, "<div id=\"root\"></div>"), "");

  const testing::CliRun text_page =
      testing::RunCli({server.Url("/text"), "-P", (Out() / "auto").string(), "-l", "2"});
  ASSERT_EQ(text_page.status, 0) << text_page.output;
  EXPECT_EQ(text_page.output.find("in a browser"), std::string::npos) << text_page.output;
  EXPECT_NE(FileWith(StoredFiles(Out() / "auto"), "<div id=\"root\"></div>"), "")
      << text_page.output;
}

// The letter typed in a search field loads the search's index, which is
// kept; the page is kept as it read before, and the links its results make
// with the letter lead nowhere new.
TEST_F(RenderTest, TheSearchsIndexIsKeptAndItsResultsAreNotThePage) {
  server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(
        "<!doctype html><title>Docs</title><input type=search id=q><div id=main></div><script>"
        "main.innerHTML = '<p>kestrelbody</p>';"
        "q.addEventListener('input', async () => {"
        "  const index = await (await fetch('/search-index.json')).json();"
        "  history.replaceState(null, '', '/?search=' + q.value);"
        "  main.innerHTML = '<a href=\"/?search=' + q.value + 'a\">' + index.word + '</a>';"
        "});</script>",
        "text/html; charset=utf-8");
  });
  server.server().Get("/search-index.json",
                      [](const httplib::Request&, httplib::Response& response) {
                        response.set_content(R"({"word":"resultsview"})", "application/json");
                      });
  const testing::CliRun run =
      testing::RunCli({server.Url("/"), "-P", Out().string(), "--render-timeout", "20"});
  ASSERT_EQ(run.status, 0) << run.output;
  const auto files = StoredFiles(Site());
  EXPECT_NE(FileWith(files, "{\"word\":\"resultsview\"}"), "") << run.output;
  for (const auto& [name, text] : files) {
    if (text.find("kestrelbody") != std::string::npos) {
      EXPECT_EQ(text.find("resultsview"), std::string::npos) << name;
    }
    EXPECT_EQ(name.find("search"), name.find("search-index")) << name;
  }
  EXPECT_NE(FileWith(files, "kestrelbody"), "") << run.output;
}

// The copy served by the viewer: the recorded answers at their own
// addresses, a route's address sent to its stored page, whose scripts come
// back to life there and find their route again.
TEST_F(RenderTest, TheViewerRunsTheCopiedApplicationFromItsRecordedAnswers) {
  ServeTheApp(server.server());
  const testing::CliRun run =
      testing::RunCli({server.Url("/"), "-P", Out().string(), "--render-timeout", "20"});
  ASSERT_EQ(run.status, 0) << run.output;
  CopyViewer viewer(Site().u16string());
  const int port = viewer.Start();
  ASSERT_GT(port, 0);
  httplib::Client client("127.0.0.1", port);
  const auto answer = client.Get("/api/items?page=2");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_NE(answer->body.find("harrierpage2 item 5"), std::string::npos) << answer->body;
  const auto route = client.Get("/items/4");
  ASSERT_TRUE(route);
  EXPECT_EQ(route->status, 302);

  ChromiumRenderer browser({ChromiumProcess::Executable(), 1, 20s, {}});
  browser.BeginRun();
  const std::string viewed = "http://127.0.0.1:" + std::to_string(port);
  const IPageRenderer::Page item = browser.Render(viewed + "/items/4");
  EXPECT_EQ(item.failure, "");
  EXPECT_NE(item.html.find("merlinitem4"), std::string::npos) << item.html;
  // The application asked for its route's address, not the stored name.
  const bool askedApi = std::find(item.requested.begin(), item.requested.end(),
                                  viewed + "/api/item/4") != item.requested.end();
  EXPECT_TRUE(askedApi);
  browser.EndRun();
}

// Pages that would hold a browser forever, or turn it against the user:
// each render ends by its time-out, and the browser goes on with the next.
TEST_F(RenderTest, HostilePagesEndByTheirTimeOut) {
  const std::pair<const char*, const char*> pages[] = {
      {"/busy", "<script>setInterval(() => fetch('/busy?' + Math.random()), 50)</script>busy"},
      {"/many",
       "<script>for (let i = 0; i < 1000; ++i) { const m = new Image(); m.src = '/m' + i + "
       "'.png'; }</script>many"},
      {"/loop", "<script>setTimeout(() => { for (;;) {} }, 100)</script>loop"},
      {"/away", "<script>location.href = 'http://localhost:9/'</script>away"},
      {"/dialog", "<script>alert('x'); confirm('y'); document.write('afterdialog')</script>"},
      {"/download",
       "<a id=d href=/file.bin download>d</a><script>d.click(); d.click()</script>download"},
  };
  for (const auto& [path, body] : pages) {
    server.server().Get(path, [body](const httplib::Request&, httplib::Response& response) {
      response.set_content(body, "text/html");
    });
  }
  server.server().Get(R"(/m\d+\.png|/file\.bin)",
                      [](const httplib::Request&, httplib::Response& response) {
                        response.set_content(std::string(1000, 'x'), "application/octet-stream");
                      });
  ChromiumRenderer browser({ChromiumProcess::Executable(), 2, 4s, {}});
  browser.BeginRun();
  for (const auto& [path, body] : pages) {
    const auto start = std::chrono::steady_clock::now();
    const IPageRenderer::Page page = browser.Render(server.Url(path));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 15s) << path;
    if (std::string(path) == "/dialog") {
      EXPECT_NE(page.html.find("afterdialog"), std::string::npos) << page.failure;
    }
    if (std::string(path) == "/away") {
      EXPECT_NE(page.failure, "") << "a page that left is not kept as this one";
    }
    if (std::string(path) == "/many") {
      EXPECT_LE(page.requested.size(), 1001u);
    }
  }
  // Nothing was downloaded into the browser's folders or ours.
  EXPECT_FALSE(fs::exists(fs::current_path() / "file.bin"));
  browser.EndRun();
}

// Stopping the run ends a render at once, however long its time-out.
TEST_F(RenderTest, AStopEndsRendersUnderWay) {
  server.server().Get("/busy", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<script>setInterval(() => fetch('/busy?' + Math.random()), 50)</script>",
                         "text/html");
  });
  ChromiumRenderer browser({ChromiumProcess::Executable(), 1, 120s, {}});
  browser.BeginRun();
  std::thread stopper([&browser] {
    std::this_thread::sleep_for(3s);
    browser.Stop();
  });
  const auto start = std::chrono::steady_clock::now();
  const IPageRenderer::Page page = browser.Render(server.Url("/busy"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  EXPECT_NE(page.failure, "");
  stopper.join();
  browser.EndRun();
}

}  // namespace
}  // namespace kestrine
