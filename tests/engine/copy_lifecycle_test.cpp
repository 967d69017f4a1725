// End to end: a copy continued after its process was killed, brought up to
// date with conditional requests, and checked without the network.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "engine/journal/project_journal.h"
#include "engine/mend/copy_verifier.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::EngineHarness;
using testing::TempFolder;
using testing::TestServer;

// A site whose files can be changed, added and removed between runs; it
// answers conditional requests with 304 and counts what it serves.
class LivingSite {
 public:
  explicit LivingSite(int files, std::chrono::milliseconds delay = 0ms) {
    for (int i = 0; i < files; ++i)
      Set("/f" + std::to_string(i) + ".txt", "file " + std::to_string(i));
    Relink();
    server_.server().Get(R"(/.*)", [this, delay](const httplib::Request& q, httplib::Response& r) {
      std::this_thread::sleep_for(delay);
      std::lock_guard lock(mutex_);
      ++hits_[q.path];
      const auto found = files_.find(q.path);
      if (found == files_.end()) {
        r.status = 404;
        return;
      }
      const std::string etag =
          "\"" + std::to_string(std::hash<std::string>{}(found->second)) + "\"";
      r.set_header("ETag", etag);
      if (q.get_header_value("If-None-Match") == etag) {
        r.status = 304;
        return;
      }
      r.set_content(found->second, q.path.ends_with(".html") ? "text/html" : "text/plain");
    });
  }
  void Set(const std::string& path, const std::string& body) {
    std::lock_guard lock(mutex_);
    files_[path] = body;
  }
  void Remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    files_.erase(path);
  }
  // The index links every file there is.
  void Relink() {
    std::lock_guard lock(mutex_);
    std::string index = "<html>";
    for (const auto& [path, body] : files_) {
      if (path != "/index.html") index += "<a href=\"" + path.substr(1) + "\">x</a> ";
    }
    files_["/index.html"] = index + "</html>";
  }
  std::map<std::string, int> Hits() {
    std::lock_guard lock(mutex_);
    return hits_;
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }
  std::string Folder() const { return "127.0.0.1-" + std::to_string(server_.port()); }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::map<std::string, int> hits_;
  TestServer server_;
};

int RunCli(const std::vector<std::string>& arguments, std::chrono::milliseconds killAfter = 0ms) {
  const pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv{const_cast<char*>(KESTRINE_CLI_PATH)};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
    execv(KESTRINE_CLI_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  if (killAfter > 0ms) {
    std::this_thread::sleep_for(killAfter);
    kill(child, SIGKILL);
  }
  for (int i = 0; i < 1200 && waitpid(child, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> StoredInJournal(const fs::path& siteFolder) {
  std::set<std::string> stored;
  const auto contents =
      ProjectJournal::Read(StringUtility::FromUtf8((siteFolder / "kestrine.journal").string()));
  for (const auto& entry : contents.entries) {
    if (entry.outcome == EntryOutcome::Stored) stored.insert(StringUtility::ToUtf8(entry.address));
  }
  return stored;
}

class CopyLifecycle : public ::testing::Test {
 protected:
  std::string Out() const { return (home.folder().path() / "out").string(); }
  testing::ConfigHome home;
};

TEST_F(CopyLifecycle, AKilledRunContinuesToTheFullCopyFetchingNothingStoredTwice) {
  for (auto killAfter : {300ms, 600ms, 1200ms}) {
    LivingSite site(40, 20ms);
    const fs::path folder = fs::path(Out()) / site.Folder();
    RunCli({"--workers", "2", "-P", Out(), "--mode", "duplicate", site.Url("/index.html")},
           killAfter);
    // Killed before the project began: there is nothing to continue.
    if (!fs::exists(folder / "kestrine.journal")) continue;
    const std::set<std::string> storedBefore = StoredInJournal(folder);
    const auto hitsBefore = site.Hits();
    EXPECT_EQ(RunCli({"--continue", folder.string()}), 0) << killAfter.count();
    for (int i = 0; i < 40; ++i) {
      EXPECT_EQ(TempFolder::Read(folder / ("f" + std::to_string(i) + ".txt")),
                "file " + std::to_string(i));
    }
    const auto hits = site.Hits();
    for (const std::string& address : storedBefore) {
      const std::string path = address.substr(address.find('/', 8));
      EXPECT_EQ(hits.at(path), hitsBefore.at(path)) << path << " fetched again";
    }
    EXPECT_TRUE(CopyVerifier::Verify(StringUtility::FromUtf8(folder.string())).dead.empty());
    fs::remove_all(Out());
  }
}

TEST_F(CopyLifecycle, AnUpdateKeepsWhatIsUnchangedAndFetchesWhatChangedOrIsNew) {
  LivingSite site(5);
  const fs::path folder = fs::path(Out()) / site.Folder();
  ASSERT_EQ(RunCli({"-P", Out(), "--mode", "duplicate", site.Url("/index.html")}), 0);
  site.Set("/f1.txt", "changed");
  site.Remove("/f2.txt");
  site.Set("/new.txt", "new file");
  site.Relink();
  const auto hitsBefore = site.Hits();
  const std::string command = std::string(KESTRINE_CLI_PATH) + " --update " + folder.string();
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 1);  // f2 is gone: reported, and kept
  // The index and f1 changed, new.txt is new, f2 is gone, the rest unchanged.
  EXPECT_NE(output.find("Update: 3 unchanged, 2 changed, 1 new, 1 gone"), std::string::npos)
      << output;
  EXPECT_EQ(TempFolder::Read(folder / "f1.txt"), "changed");
  EXPECT_EQ(TempFolder::Read(folder / "f2.txt"), "file 2");  // gone from the site, kept here
  EXPECT_EQ(TempFolder::Read(folder / "new.txt"), "new file");
  EXPECT_EQ(TempFolder::Read(folder / "f0.txt"), "file 0");
  const auto hits = site.Hits();
  EXPECT_EQ(hits.at("/f0.txt"), hitsBefore.at("/f0.txt") + 1);  // asked once, answered 304
}

TEST_F(CopyLifecycle, VerifyFindsAReferenceToARemovedFile) {
  LivingSite site(3);
  const fs::path folder = fs::path(Out()) / site.Folder();
  ASSERT_EQ(RunCli({"-P", Out(), "--mode", "duplicate", site.Url("/index.html")}), 0);
  EXPECT_EQ(RunCli({"--verify", folder.string()}), 0);
  fs::remove(folder / "f1.txt");
  const auto report = CopyVerifier::Verify(StringUtility::FromUtf8(folder.string()));
  ASSERT_EQ(report.dead.size(), 1u);
  EXPECT_EQ(report.dead[0].reference, "f1.txt");
  EXPECT_EQ(report.dead[0].document, (folder / "index.html").string());
  EXPECT_EQ(report.resolved, 2);
  EXPECT_EQ(RunCli({"--verify", folder.string()}), 1);
}

}  // namespace
}  // namespace kestrine
