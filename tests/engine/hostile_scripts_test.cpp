// End to end: a site whose scripts and JSON are made to cost a copier
// memory and time. The run ends, within its limits, in bounded memory.
#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/config_home.h"
#include "support/hostile_scripts.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

using testing::HostileScripts;

// Sanitizers keep shadow memory of their own: the bound is for the program.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

TEST(HostileScripts, AFileLimitEndsCollectionAndMemoryStaysBounded) {
  testing::ConfigHome home;
  // The bodies outlive the server, whose threads may still be sending one
  // when the run has ended.
  const std::string fetches = HostileScripts::Fetches(46u << 20);
  const std::string hashMap = HostileScripts::HashMap(1000000);  // 21 MB
  const std::string runtime = HostileScripts::RepeatedRuntime(6u << 20);
  testing::TestServer server;
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(
        "<script src=\"fetches.js\"></script><script src=\"runtime.js\"></script>"
        "<a href=\"hashmap.json\">map</a>",
        "text/html");
  });
  const auto serve = [&server](const char* path, const std::string& body, const char* type) {
    server.server().Get(path, [&body, type](const httplib::Request&, httplib::Response& r) {
      r.set_content(body, type);
    });
  };
  serve("/fetches.js", fetches, "text/javascript");
  serve("/runtime.js", runtime, "text/javascript");
  serve("/hashmap.json", hashMap, "application/json");
  server.server().Get(R"(/.*)", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("{}", "application/json");
  });
  const std::string output = (home.folder().path() / "out").string();
  // Before: 486 MB for the script, 588 MB for the map whatever the limit,
  // and the runtime was never read to its end.
  // Read as files, not in a browser: the page looks like an application's
  // shell, and Chromium's fetches (which accept brotli) would have the test
  // server compressing these bodies for most of a minute. Hostile pages in
  // the browser have tests of their own.
  const testing::CliRun run = testing::RunCliUntil(
      {"-q", "--max-files", "50", "--render", "never", "-P", output, server.Url("/index.html")},
      nullptr);
  EXPECT_EQ(run.status, 0) << run.output;
  // The transfers under way when the limit came end as they were.
  EXPECT_NE(run.output.find("Finished: limit of 50 files reached"), std::string::npos)
      << run.output;
  if (kMeasuresMemory) {
    EXPECT_LT(run.peakKilobytes, 300 * 1024) << run.output;
  }
}

}  // namespace
}  // namespace kestrine
