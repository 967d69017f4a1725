// End to end: a small site in the shapes today's generators write, whose
// scripts name files no page links; the copy holds them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/pagefind_files.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

using testing::CborText;
using testing::Gzipped;
namespace fs = std::filesystem;
using testing::EngineHarness;
using testing::TestServer;

class ScriptSite {
 public:
  ScriptSite() {
    Set("/index.html",
        "<!doctype html><script type=module src=/assets/app.js></script>"
        "<script>window.__VP_HASH_MAP__=JSON.parse(\"{\\\"guide_a.md\\\":\\\"Xk6\\\"}\");"
        "window.__VP_SITE_DATA__=JSON.parse(\"{\\\"base\\\":\\\"/\\\"}\");</script>"
        "<script id=__config type=application/json>{\"base\": \".\", \"search\": "
        "\"assets/workers/search.1a2b.min.js\"}</script>"
        "<link rel=modulepreload href=/assets/index.md.t7.lean.js>"
        "<link rel=manifest href=/site.webmanifest>"
        "<script src=/assets/js/runtime~main.11aa.js defer></script>"
        "<script>new PagefindUI({bundlePath:\"/pagefind/\"})</script>",
        "text/html");
    Set("/assets/app.js",
        "import{a}from\"./chunks/framework.js\";const w=new Worker(new URL(\"./worker.js\","
        "import.meta.url));fetch(\"/data/strings.json\");import(\"./lazy.js\");"
        "const __vite__mapDeps=(i,m=__vite__mapDeps,d=(m.f||(m.f=[\"assets/chunks/dep.js\"])))"
        "=>i.map(i=>d[i]);",
        "text/javascript");
    for (const char* path :
         {"/assets/chunks/framework.js", "/assets/worker.js", "/assets/lazy.js",
          "/assets/chunks/dep.js", "/assets/guide_a.md.Xk6.js", "/assets/guide_a.md.Xk6.lean.js",
          "/assets/index.md.t7.js", "/assets/index.md.t7.lean.js",
          "/assets/workers/search.1a2b.min.js", "/assets/js/0058b4c6.d58dadbc.js",
          "/assets/js/512.aaaa1111.js", "/pagefind/pagefind.js", "/pagefind/pagefind-worker.js"}) {
      Set(path, "export {}", "text/javascript");
    }
    Set("/data/strings.json", "{\"greeting\": \"hello\"}", "application/json");
    Set("/hashmap.json", "{\"guide_a.md\":\"Xk6\"}", "application/json");
    Set("/search/search_index.json", "{\"docs\": []}", "application/json");
    Set("/site.webmanifest", "{\"icons\": [{\"src\": \"/icons/192.png\"}]}",
        "application/manifest+json");
    Set("/icons/192.png", "PNG", "image/png");
    Set("/assets/js/runtime~main.11aa.js",
        "n.p=\"/\",n.u=e=>\"assets/js/\"+(({266:\"0058b4c6\"})[e]||e)+\".\"+"
        "({266:\"d58dadbc\",512:\"aaaa1111\"})[e]+\".js\"",
        "text/javascript");
    Set("/pagefind/pagefind-entry.json",
        "{\"version\":\"1.6.0\",\"languages\":{\"en\":{\"hash\":\"en_aa\",\"wasm\":\"en\"}}}",
        "application/json");
    Set("/pagefind/wasm.en.pagefind", "wasm", "application/octet-stream");
    Set("/pagefind/wasm.unknown.pagefind", "wasm", "application/octet-stream");
    Set("/pagefind/pagefind.en_aa.pf_meta",
        Gzipped("pagefind_dcd\x86" + CborText("1.6.0") + "\x81\x83" + CborText("en_p1") + "\x07" +
                CborText("") + "\x81\x83" + CborText("a") + CborText("z") + CborText("en_i1") +
                "\x80\x80\x80"),
        "application/octet-stream");
    Set("/pagefind/fragment/en_p1.pf_fragment", "frag", "application/octet-stream");
    Set("/pagefind/index/en_i1.pf_index", "idx", "application/octet-stream");
    server_.server().Get(R"(/.*)", [this](const httplib::Request& q, httplib::Response& r) {
      std::lock_guard lock(mutex_);
      const auto found = files_.find(q.path);
      if (found == files_.end()) {
        r.status = 404;
        return;
      }
      r.set_content(found->second.first, found->second.second);
    });
  }
  std::u16string Url(const std::string& path) const { return server_.WideUrl(path); }
  std::string Folder() const { return "127.0.0.1-" + std::to_string(server_.port()); }
  std::vector<std::string> Paths() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    for (const auto& [path, file] : files_) paths.push_back(path);
    return paths;
  }

 private:
  void Set(const std::string& path, const std::string& body, const std::string& type) {
    files_[path] = {body, type};
  }
  std::mutex mutex_;
  std::map<std::string, std::pair<std::string, std::string>> files_;
  TestServer server_;
};

TEST(ScriptNamedFiles, EveryFileTheSitesScriptsNameIsCopied) {
  ScriptSite site;
  EngineHarness engine;
  engine.project->SetOptions({});
  engine.Start(site.Url("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const fs::path folder = engine.Out() / site.Folder();
  for (const std::string& path : site.Paths()) {
    EXPECT_TRUE(fs::exists(folder / path.substr(1))) << path;
  }
  for (const auto& row : engine.list.RowsIn(TransferState::Failed)) {
    ADD_FAILURE() << StringUtility::ToUtf8(row[kAddressColumn]) << " "
                  << StringUtility::ToUtf8(row[kReasonColumn]);
  }
  EXPECT_EQ(static_cast<std::size_t>(engine.list.CountState(TransferState::Succeeded)),
            engine.list.RowCount());
  // Scripts stay byte for byte as the site sent them.
  EXPECT_NE(testing::TempFolder::Read(folder / "assets" / "app.js").find("\"./worker.js\""),
            std::string::npos);
  EXPECT_NE(engine.project->NamedSummary().find("named in scripts"), std::string::npos);
}

// Names a site's own code holds in variables, passes to its own functions
// or keeps in a script file relative to the page that runs it: fetched
// when the site has them, dropped without a row or a failure when not.
TEST(ScriptNamedFiles, GuessedNamesAreKeptWhenTheSiteHasThemAndDroppedQuietlyElse) {
  TestServer server;
  server.server().Get(R"(/.*)", [](const httplib::Request& q, httplib::Response& r) {
    static const std::map<std::string, std::pair<std::string, std::string>> files = {
        {"/index.html",
         {"<!doctype html><script>Docs.loadIndex(\"index-data.js\");"
          "var e=\"/data/missing.json\",routes={list:\"/app/routes.json\"};fetch(e)</script>"
          "<script src=/assets/js/search.js></script>",
          "text/html"}},
        {"/index-data.js", {"Docs.setIndex({})", "text/javascript"}},
        {"/assets/js/search.js", {"xhr.open(\"GET\",\"../index.json\")", "text/javascript"}},
        {"/index.json", {"[]", "application/json"}},
        // A single-page application's server answers every path with its page.
        {"/app/routes.json", {"<!doctype html><div id=app></div>", "text/html"}}};
    const auto found = files.find(q.path);
    if (found == files.end()) {
      r.status = 404;
      return;
    }
    r.set_content(found->second.first, found->second.second);
  });
  EngineHarness engine;
  engine.project->SetOptions({});
  engine.Start(server.WideUrl("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
  const fs::path folder = engine.Out() / ("127.0.0.1-" + std::to_string(server.port()));
  EXPECT_TRUE(fs::exists(folder / "index-data.js"));
  EXPECT_TRUE(fs::exists(folder / "index.json"));
  EXPECT_FALSE(fs::exists(folder / "data" / "missing.json"));
  EXPECT_FALSE(fs::exists(folder / "app" / "routes.json"));
  EXPECT_FALSE(fs::exists(folder / "assets" / "index.json"));
  EXPECT_EQ(engine.list.CountState(TransferState::Failed), 0);
  EXPECT_EQ(engine.list.RowCount(), 4u);
  const std::vector<std::string> lines = engine.project->AddressLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "guessed 5 addresses from scripts' strings, 3 of them not on the site"),
            lines.end());
  EXPECT_EQ(engine.project->Summary(0).failed, 0);
  // An update asks for the guesses again, as guesses: still no failure.
  EngineHarness update;
  update.project->SetOptions({});
  ASSERT_TRUE(update.project->RestoreFromJournal(engine.project->siteFolder(), true));
  update.project->ResumeProject();
  update.Wait();
  EXPECT_EQ(update.list.CountState(TransferState::Failed), 0);
  EXPECT_EQ(update.project->Summary(0).failed, 0);
  EXPECT_TRUE(fs::exists(folder / "index.json"));
}

}  // namespace
}  // namespace kestrine
