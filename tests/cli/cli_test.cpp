// The headless front end as scripts use it: arguments, output and exit
// statuses of the real binary.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/cli_runner.h"
#include "support/config_home.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

using namespace std::chrono_literals;

struct Outcome {
  int status;
  std::string output;
};

// Runs the binary with arguments through the shell, output and errors
// together.
Outcome RunCli(const std::string& arguments) {
  const std::string command = std::string(KESTRINE_CLI_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) output += buffer.data();
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class CliTest : public ::testing::Test {
 protected:
  std::string Output() const { return (home.folder().path() / "out").string(); }
  testing::ConfigHome home;
};

TEST_F(CliTest, BadUsageEndsWithStatusTwo) {
  EXPECT_EQ(RunCli("").status, 2);
  EXPECT_EQ(RunCli("--mode sideways http://127.0.0.1:1/").status, 2);
  EXPECT_EQ(RunCli("--workers 0 http://127.0.0.1:1/").status, 2);
  EXPECT_EQ(RunCli("--workers 16 http://127.0.0.1:1/").status, 2);
  EXPECT_EQ(RunCli("--timeout 9 http://127.0.0.1:1/").status, 2);
  EXPECT_EQ(RunCli("--timeout 301 http://127.0.0.1:1/").status, 2);
  EXPECT_EQ(RunCli("--no-such-option http://127.0.0.1:1/").status, 2);
  const Outcome ftp = RunCli("ftp://example.com/");
  EXPECT_EQ(ftp.status, 2);
  EXPECT_EQ(ftp.output,
            "kestrine-cli: ftp://example.com/: only http:// and https:// addresses "
            "can be downloaded (an address such as https://example.com/docs/)\n");
  // Every address that names no web host is refused before any download.
  for (const char* typed : {"s", "htp:/x", "http://", "'https://exa mple.com/'"}) {
    EXPECT_EQ(RunCli(typed).status, 2) << typed;
  }
  const Outcome unknown = RunCli("--no-such-option http://127.0.0.1:1/");
  EXPECT_EQ(unknown.output.rfind("kestrine-cli: ", 0), 0u) << unknown.output;
  // A folder that cannot be made, or none at all, is refused before any
  // download, with one message.
  const Outcome proc = RunCli("--output /proc/x/y http://127.0.0.1:1/");
  EXPECT_EQ(proc.status, 2);
  EXPECT_EQ(proc.output, "kestrine-cli: cannot create the download folder /proc/x/y\n");
  EXPECT_EQ(RunCli("--output '' http://127.0.0.1:1/").status, 2);
  const Outcome twoCopies = RunCli("--verify a --serve b");
  EXPECT_EQ(twoCopies.status, 2);
  EXPECT_EQ(twoCopies.output.rfind("kestrine-cli: --continue, --update, --verify and --serve", 0),
            0u)
      << twoCopies.output;
  EXPECT_EQ(RunCli("--continue a http://127.0.0.1:1/").status, 2);
  const Outcome help = RunCli("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"--mode MODE", "--workers N", "quorl.cfg", "Exit status", "3 cancelled",
                           "--ca-certificate FILE", "--no-check-certificate"}) {
    EXPECT_NE(help.output.find(text), std::string::npos) << text << "\n" << help.output;
  }
  EXPECT_EQ(help.output.find("ENUM"), std::string::npos) << help.output;
  EXPECT_EQ(help.output.find("Excludes"), std::string::npos) << help.output;
}

TEST_F(CliTest, ShortFormsVersionAndKestrineConf) {
  const Outcome version = RunCli("-V");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "kestrine-cli 2.0\n");
  testing::TestServer server;
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<a href=\"a.html\">a</a> <img src=\"b.png\"> <img src=\"c.gif\">", "text/html");
  });
  for (const char* file : {"/a.html", "/b.png", "/c.gif"}) {
    server.server().Get(file, [](const httplib::Request&, httplib::Response& r) {
      r.set_content("x", "text/plain");
    });
  }
  // -l 0 keeps to the start page and its files; -R leaves the gif out.
  const Outcome limited =
      RunCli("-q -l 0 -R '*.gif' -P " + Output() + " " + server.Url("/index.html"));
  EXPECT_EQ(limited.status, 0) << limited.output;
  EXPECT_NE(limited.output.find("Finished: 2 succeeded"), std::string::npos) << limited.output;
  EXPECT_NE(limited.output.find("skipped 1 address deeper than the link level"), std::string::npos);
  // A bad kestrine.conf stops the run before it starts, saying where.
  const auto conf = home.folder().path() / "config/kestrine/kestrine.conf";
  std::filesystem::create_directories(conf.parent_path());
  std::ofstream(conf) << "level = 2\nquota = lots\n";
  const Outcome bad = RunCli("-P " + Output() + " " + server.Url("/index.html"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.output, "kestrine-cli: kestrine.conf:2: bad value 'lots' for quota\n");
}

TEST_F(CliTest, AnUnreachableStartPageIsSaidPlainly) {
  const Outcome outcome = RunCli("--output " + Output() + "/ http://127.0.0.1:1/index.html");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.output.find("kestrine-cli: the start page could not be fetched: connection "
                                "refused"),
            std::string::npos)
      << outcome.output;
  EXPECT_NE(outcome.output.find("Failure  http://127.0.0.1:1/index.html -> "), std::string::npos);
  // No doubled separator after a folder given with a trailing one.
  EXPECT_NE(outcome.output.find("Folder: " + Output() + "/127.0.0.1-1\n"), std::string::npos)
      << outcome.output;
}

TEST_F(CliTest, MirrorsASiteAndReportsFailures) {
  testing::TestServer server;
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<a href=\"a.html\">a</a> <a href=\"gone.html\">gone</a>", "text/html");
  });
  server.server().Get("/a.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<p>a</p>", "text/html");
  });
  const Outcome outcome = RunCli("--mode duplicate --workers 3 --timeout 10 --output " + Output() +
                                 " " + server.Url("/index.html"));
  EXPECT_EQ(outcome.status, 1) << outcome.output;
  EXPECT_NE(outcome.output.find("Finished: 2 succeeded, 1 failed"), std::string::npos)
      << outcome.output;
  EXPECT_NE(outcome.output.find("Failure  " + server.Url("/gone.html")), std::string::npos);
  EXPECT_NE(outcome.output.find("gone.html (HTTP 404)\n"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("Failed downloads:\n  " + server.Url("/gone.html") + ": HTTP 404"),
            std::string::npos)
      << outcome.output;
  const std::string site = Output() + "/127.0.0.1-" + std::to_string(server.port());
  EXPECT_NE(outcome.output.find("Folder: " + site), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(site + "/a.html"));
  // The settings file is never written by the command line.
  EXPECT_FALSE(std::filesystem::exists(home.folder().path() / "config/kestrine/quorl.cfg"));

  const Outcome retrieve = RunCli("--mode retrieve --quiet --output " + Output() + " " +
                                  server.Url("/index.html") + " " + server.Url("/a.html"));
  EXPECT_EQ(retrieve.status, 0) << retrieve.output;
  EXPECT_EQ(retrieve.output.find("Finished  "), std::string::npos);  // quiet: summary only
  EXPECT_NE(retrieve.output.find("Finished: 2 succeeded, 0 failed"), std::string::npos);
}

TEST_F(CliTest, NoControlCharacterFromASiteReachesTheTerminal) {
  testing::TestServer server;
  // Links whose addresses would set the window title, clear the screen and
  // turn the rest of a line around, printed in "Failure" lines.
  server.server().Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(
        "<a href=\"t\x1b]0;owned\x07.html\">a</a> <a href=\"c\x1b[2J.html\">b</a> "
        "<a href=\"r\xe2\x80\xaelmth.exe\">c</a> <a href=\"k\xc2\x9b"
        "31m.html\">d</a>",
        "text/html");
  });
  const Outcome outcome =
      RunCli("--mode duplicate -P " + Output() + " " + server.Url("/index.html"));
  EXPECT_EQ(outcome.status, 1) << outcome.output;
  for (const char* raw : {"\x1b", "\x07", "\xe2\x80\xae", "\xc2\x9b"}) {
    EXPECT_EQ(outcome.output.find(raw), std::string::npos) << outcome.output;
  }
  // Controls in an address are sent percent-encoded, as browsers send them;
  // the rest is written out.
  for (const char* shown : {"t%1B]0;owned%07", "c%1B[2J", "r\\u202elmth", "k\\u009b31m"}) {
    EXPECT_NE(outcome.output.find(shown), std::string::npos) << shown << "\n" << outcome.output;
  }
}

TEST_F(CliTest, ValuesThatWouldSmuggleALineOrMeanNothingAreRefused) {
  const std::string url = " http://127.0.0.1:1/";
  for (const char* option :
       {"--header \"$(printf 'X-A: 1\\r\\nX-B: 2')\"", "--user-agent \"$(printf 'a\\nX-B: 2')\"",
        "--header \"$(printf 'X-A: 1\\rHost: evil')\""}) {
    const Outcome outcome = RunCli(std::string(option) + url);
    EXPECT_EQ(outcome.status, 2) << option;
    EXPECT_NE(outcome.output.find("may not hold a line break"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find(std::string(option).substr(0, std::string(option).find(' '))),
              std::string::npos)
        << outcome.output;
  }
  const Outcome cookies = RunCli("--load-cookies /nonexistent/cookies.txt" + url);
  EXPECT_EQ(cookies.status, 2);
  EXPECT_NE(cookies.output.find("--load-cookies"), std::string::npos) << cookies.output;
  EXPECT_EQ(RunCli("--limit-rate 0.5" + url).status, 2);
  EXPECT_EQ(RunCli("--quota 0.4" + url).status, 2);
  EXPECT_EQ(RunCli("--max-time x" + url).status, 2);
  // The same in kestrine.conf, with the line named.
  const auto conf = home.folder().path() / "config/kestrine/kestrine.conf";
  std::filesystem::create_directories(conf.parent_path());
  std::ofstream(conf, std::ios::binary) << "user-agent = a\rX-B: 2\n";
  const Outcome bad = RunCli("-P " + Output() + url);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.output.find("kestrine.conf:1:"), std::string::npos) << bad.output;
}

TEST_F(CliTest, TurningCertificateChecksOffIsSaid) {
  const Outcome outcome = RunCli("--no-check-certificate -P " + Output() + " http://127.0.0.1:1/");
  EXPECT_NE(outcome.output.find("kestrine-cli: warning: certificates are not checked"),
            std::string::npos)
      << outcome.output;
}

TEST_F(CliTest, InterruptCancelsTheRunCleanly) {
  testing::TestServer server;
  std::string index;
  for (int i = 0; i < 30; ++i) index += "<a href=\"s" + std::to_string(i) + ".bin\">s</a> ";
  server.server().Get("/index.html", [index](const httplib::Request&, httplib::Response& r) {
    r.set_content(index, "text/html");
  });
  server.server().Get(R"(/s\d+\.bin)", [](const httplib::Request&, httplib::Response& r) {
    std::this_thread::sleep_for(400ms);
    r.set_content("x", "application/octet-stream");
  });
  const std::string url = server.Url("/index.html");
  const pid_t child = fork();
  if (child == 0) {
    const std::string output = "--output=" + Output();
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    execl(KESTRINE_CLI_PATH, KESTRINE_CLI_PATH, "--workers", "1", output.c_str(), url.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(1500ms);
  kill(child, SIGINT);
  int status = 0;
  for (int i = 0; i < 200 && waitpid(child, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  if (waitpid(child, &status, WNOHANG) == 0 && !WIFEXITED(status)) kill(child, SIGKILL);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
}

TEST_F(CliTest, ASecondRunOnACopyInUseIsRefusedBeforeItWritesAnything) {
  testing::TestServer server;
  std::string index;
  for (int i = 0; i < 20; ++i) index += "<img src=\"s" + std::to_string(i) + ".png\"> ";
  server.server().Get("/index.html", [index](const httplib::Request&, httplib::Response& r) {
    r.set_content(index, "text/html");
  });
  server.server().Get(R"(/s\d+\.png)", [](const httplib::Request&, httplib::Response& r) {
    std::this_thread::sleep_for(150ms);
    r.set_content("x", "image/png");
  });
  const std::string arguments = "--workers 1 -P " + Output() + " " + server.Url("/index.html");
  Outcome first;
  std::thread running([&] { first = RunCli(arguments); });
  const std::filesystem::path site =
      std::filesystem::path(Output()) / ("127.0.0.1-" + std::to_string(server.port()));
  const std::filesystem::path log = site / "download.log";
  // Under way: its log, its lock, its start page and an image are there.
  for (int i = 0; i < 500 && !testing::HoldsFiles(site, 4); ++i) std::this_thread::sleep_for(10ms);
  const std::string logBefore = testing::TempFolder::Read(log);
  // Before, both ran, and pages of the copy showed the other run's files.
  const Outcome second = RunCli(arguments);
  const Outcome continued = RunCli("--continue " + site.string());
  running.join();
  EXPECT_EQ(second.status, 2) << second.output;
  EXPECT_EQ(second.output,
            "kestrine-cli: another run is writing the copy in " + site.string() + "\n");
  EXPECT_EQ(continued.status, 2) << continued.output;
  EXPECT_EQ(first.status, 0) << first.output;
  // The refused runs wrote nothing: the log holds one run's lines only.
  const std::string logAfter = testing::TempFolder::Read(log);
  EXPECT_EQ(logAfter.rfind("Begin"), logAfter.find("Begin")) << logAfter;
  EXPECT_EQ(logAfter.substr(0, logBefore.size()), logBefore);
  // The lock goes with its run: the next one may write.
  EXPECT_EQ(RunCli("-q " + arguments).status, 0);
}

}  // namespace
}  // namespace kestrine
