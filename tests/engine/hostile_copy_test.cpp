// End to end, as an attacker and an unlucky user would try it: a copy
// whose journal lies and whose folder holds planted links, runs cancelled
// and continued, updates that meet a failing server, a copy moved away.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>

#include "engine/journal/project_journal.h"
#include "engine/mend/copy_verifier.h"
#include "runtime/string_utility.h"
#include "support/cli_runner.h"
#include "support/config_home.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::RunCli;
using testing::TempFolder;
using testing::TestServer;

// A site of pages and files that can fail for a while (any status), answer
// slowly, change between runs, and answers conditional requests with 304.
class Site {
 public:
  explicit Site(std::chrono::milliseconds delay = 0ms) {
    server_.server().Get(R"(/.*)", [this, delay](const httplib::Request& q, httplib::Response& r) {
      std::this_thread::sleep_for(delay);
      std::lock_guard lock(mutex_);
      if (const auto failing = failing_.find(q.path); failing != failing_.end()) {
        r.status = failing->second;
        return;
      }
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
      const std::string& path = q.path;
      const char* type = path.ends_with(".html") || path.ends_with("/") ? "text/html"
                         : path.ends_with(".css")                       ? "text/css"
                                                                        : "text/plain";
      r.set_content(found->second, type);
    });
  }
  void Set(const std::string& path, const std::string& body) {
    std::lock_guard lock(mutex_);
    files_[path] = body;
  }
  void Fail(const std::string& path, int status) {
    std::lock_guard lock(mutex_);
    if (status == 0) {
      failing_.erase(path);
    } else {
      failing_[path] = status;
    }
  }
  // A tree of pages: the index links `pages` pages, each of which links a
  // text file and a style sheet with an image.
  void Tree(int pages) {
    std::string index = "<html><link rel=\"stylesheet\" href=\"site.css\">";
    for (int i = 0; i < pages; ++i) {
      const std::string n = std::to_string(i);
      index += "<a href=\"p" + n + ".html\">" + n + "</a>";
      Set("/p" + n + ".html", "<html><a href=\"t" + n +
                                  ".txt\">t</a><a href=\"index.html\">up</a>" + "<img src=\"i" + n +
                                  ".png\"></html>");
      Set("/t" + n + ".txt", "text " + n);
      Set("/i" + n + ".png", "png " + n);
    }
    Set("/index.html", index + "</html>");
    Set("/site.css", "body { background: url(bg.png) }");
    Set("/bg.png", "bg");
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }
  std::string Folder() const { return "127.0.0.1-" + std::to_string(server_.port()); }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server_.port()); }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::map<std::string, int> failing_;
  TestServer server_;
};

// Every file below a folder and its bytes, the engine's own files aside.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name == "download.log" || name == "kestrine.journal") continue;
    tree[fs::relative(entry.path(), folder).string()] = TempFolder::Read(entry.path());
  }
  return tree;
}

bool IsWhole(const fs::path& siteFolder) {
  const auto report = CopyVerifier::Verify(StringUtility::FromUtf8(siteFolder.string()));
  for (const auto& dead : report.dead) ADD_FAILURE() << dead.document << ": " << dead.reference;
  return report.dead.empty();
}

class HostileCopy : public ::testing::Test {
 protected:
  fs::path Root() const { return home.folder().path(); }
  fs::path Out() const { return Root() / "out"; }
  testing::ConfigHome home;
};

TEST_F(HostileCopy, AJournalCannotPlaceAFileOutsideTheCopyOrOnTheEnginesOwn) {
  Site site;
  site.Tree(2);
  const std::vector<std::pair<std::string, std::string>> lies = {
      {"/p0.html", "..\\..\\elsewhere\\file"},
      {"/p1.html", "\\" + (Root() / "absolute").string()},
      {"/t0.txt", ""},
      {"/t1.txt", "kestrine.journal"},
      {"/i0.png", "download.log"},
      {"/i1.png", "index.html"},  // another entry's file
      {"/site.css", "~kestrine-part-1"},
      {"/bg.png", "sub\\..\\..\\bg.png"},
  };
  for (bool earlierForm : {false, true}) {
    const fs::path folder = Out() / site.Folder();
    fs::create_directories(folder);
    fs::create_directories(Root() / "elsewhere");
    std::ofstream(Root() / "elsewhere" / "file") << "keep";
    std::ofstream(Root() / "absolute") << "keep";
    // A journal of a copy interrupted at its start, every entry pending,
    // in today's form and in the form of earlier versions (local files
    // below the site folder's name).
    const std::string prefix = earlierForm ? site.Folder() + "\\" : "";
    std::ofstream journal(folder / "kestrine.journal", std::ios::binary);
    journal << ProjectJournal::Line(
                   earlierForm
                       ? std::vector<std::string>{"P", "1", site.Url(""), site.Host()}
                       : std::vector<std::string>{"P", "1", site.Url(""), site.Host(), "site"})
            << "\n";
    journal << ProjectJournal::Line({"Q", "0", "0", site.Url("/index.html"), prefix + "index.html"})
            << "\n";
    for (std::size_t i = 0; i < lies.size(); ++i) {
      const std::string recorded =
          earlierForm && !lies[i].second.empty() ? prefix + lies[i].second : lies[i].second;
      journal << ProjectJournal::Line(
                     {"Q", std::to_string(i + 1), "1", site.Url(lies[i].first), recorded})
              << "\n";
    }
    journal << ProjectJournal::Line({"S"}) << "\n";
    journal.close();

    const auto run = RunCli({"--continue", folder.string()});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(TempFolder::Read(Root() / "elsewhere" / "file"), "keep");
    EXPECT_EQ(TempFolder::Read(Root() / "absolute"), "keep");
    EXPECT_FALSE(fs::exists(Root() / "elsewhere" / "file.html"));
    // Each file where the naming rules put it, and the engine's own files
    // still its own.
    EXPECT_EQ(TempFolder::Read(folder / "t0.txt"), "text 0");
    EXPECT_EQ(TempFolder::Read(folder / "t1.txt"), "text 1");
    EXPECT_EQ(TempFolder::Read(folder / "i0.png"), "png 0");
    EXPECT_EQ(TempFolder::Read(folder / "i1.png"), "png 1");
    EXPECT_EQ(TempFolder::Read(folder / "bg.png"), "bg");
    EXPECT_NE(TempFolder::Read(folder / "p0.html").find("t0.txt"), std::string::npos);
    EXPECT_NE(TempFolder::Read(folder / "index.html").find("p1.html"), std::string::npos);
    EXPECT_TRUE(ProjectJournal::ReadCopy(StringUtility::FromUtf8(folder.string())).found);
    EXPECT_NE(TempFolder::Read(folder / "download.log").find("End"), std::string::npos);
    EXPECT_TRUE(IsWhole(folder));
    fs::remove_all(Out());
  }
}

TEST_F(HostileCopy, NamesChosenByTheServerNeverLeaveTheCopy) {
  TestServer server;
  const std::vector<std::string> links = {"../../escape.html",
                                          "..%2f..%2fescape2.html",
                                          "..%5c..%5cescape3.html",
                                          "%2e%2e/%2e%2e/e4.html",
                                          "..\\..\\e5.html",
                                          "\xef\xbc\x8e\xef\xbc\x8e/e6.html",
                                          "a%00b.html",
                                          "c%0d%0ad.html",
                                          "r\xe2\x80\xaelmth.exe",
                                          std::string(300, 'n') + ".html"};
  std::string index = "<html>";
  for (const std::string& link : links) index += "<a href=\"" + link + "\">x</a>";
  server.server().Get("/dir/index.html", [index](const httplib::Request&, httplib::Response& r) {
    r.set_content(index + "</html>", "text/html");
  });
  server.server().Get(R"(/.*)", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<html>caught</html>", "text/html");
  });
  for (const char* mode : {"duplicate", "browsable", "retrieve"}) {
    const auto run = RunCli({"--mode", mode, "-P", Out().string(), server.Url("/dir/index.html")});
    EXPECT_LE(run.status, 1) << run.output;
  }
  // Everything lies in the site folder; nothing else was made.
  for (const auto& entry : fs::recursive_directory_iterator(Root())) {
    const std::string path = fs::relative(entry.path(), Root()).string();
    EXPECT_TRUE(path == "out" || path == "config" || path == "home" ||
                path.starts_with("config/") || path.starts_with("home/") ||
                path.starts_with("out/127.0.0.1-" + std::to_string(server.port())))
        << path;
  }
}

TEST_F(HostileCopy, PlantedLinksAreRefusedAndWhatTheyPointAtStaysByteIdentical) {
  Site site;
  site.Tree(2);
  const fs::path outside = Root() / "outside";
  fs::create_directories(outside / "dir");
  for (const char* name : {"page", "log", "journal", "part", "new", "sheet"}) {
    std::ofstream(outside / name) << "outside " << name;
  }
  const auto outsideTree = Tree(outside);
  const fs::path folder = Out() / site.Folder();
  fs::create_directories(folder);
  fs::create_symlink(outside / "page", folder / "p0.html");
  fs::create_directory_symlink(outside / "dir", folder / "sub");
  fs::create_symlink(outside / "log", folder / "download.log");
  fs::create_symlink(outside / "journal", folder / "kestrine.journal");
  fs::create_symlink(outside / "part", folder / "~kestrine-part-1");
  fs::create_symlink(outside / "new", folder / "index.html~kestrine-new");
  site.Set("/sub/deep.html", "<html>deep</html>");
  site.Set("/index.html",
           "<html><a href=\"p0.html\">0</a><a href=\"p1.html\">1</a>"
           "<a href=\"sub/deep.html\">d</a><link rel=\"stylesheet\" href=\"site.css\">"
           "</html>");

  const auto first = RunCli({"--mode", "duplicate", "-P", Out().string(), site.Url("/index.html")});
  EXPECT_EQ(first.status, 1) << first.output;
  EXPECT_NE(first.output.find("a symbolic link stands where the file"), std::string::npos)
      << first.output;
  EXPECT_NE(first.output.find("a symbolic link stands where the folder sub goes"),
            std::string::npos)
      << first.output;
  EXPECT_EQ(Tree(outside), outsideTree);
  EXPECT_FALSE(fs::is_symlink(folder / "download.log"));
  EXPECT_FALSE(fs::is_symlink(folder / "kestrine.journal"));
  EXPECT_EQ(TempFolder::Read(folder / "p1.html").find("outside"), std::string::npos);

  // A copy someone else made, with a link where a stored file was, is
  // brought up to date without writing through it.
  fs::remove(folder / "p0.html");
  fs::remove(folder / "sub");
  ASSERT_EQ(RunCli({"--update", folder.string()}).status, 0);
  fs::remove(folder / "site.css");
  fs::create_symlink(outside / "sheet", folder / "site.css");
  site.Set("/site.css", "body { color: red }");
  const auto update = RunCli({"--update", folder.string()});
  EXPECT_EQ(update.status, 1) << update.output;
  EXPECT_NE(update.output.find("site.css"), std::string::npos) << update.output;
  EXPECT_EQ(Tree(outside), outsideTree);
}

TEST_F(HostileCopy, APathThatLooksLikeAPartialFileIsTheSitesOwn) {
  Site site;
  site.Set("/index.html", "<html><a href=\"~kestrine-part-1/x.html\">x</a></html>");
  site.Set("/~kestrine-part-1/x.html", "<html>x</html>");
  const fs::path folder = Out() / site.Folder();
  ASSERT_EQ(RunCli({"--mode", "duplicate", "-P", Out().string(), site.Url("/index.html")}).status,
            0);
  EXPECT_EQ(TempFolder::Read(folder / "-kestrine-part-1" / "x.html"), "<html>x</html>");
  EXPECT_NE(TempFolder::Read(folder / "index.html").find("href=\"-kestrine-part-1/x.html\""),
            std::string::npos);
  site.Set("/index.html", "<html><a href=\"~kestrine-part-1/x.html\">y</a></html>");
  const auto update = RunCli({"--update", folder.string()});
  EXPECT_EQ(update.status, 0) << update.output;
  EXPECT_NE(TempFolder::Read(folder / "index.html").find(">y<"), std::string::npos);
}

TEST_F(HostileCopy, CancelThenContinueGivesTheTreeOfAnUninterruptedCopy) {
  // Slow enough that a cancel meets transfers under way.
  Site site(150ms);
  site.Tree(6);
  ASSERT_EQ(RunCli({"--workers", "2", "--mode", "duplicate", "-P", (Root() / "whole").string(),
                    site.Url("/index.html")})
                .status,
            0);
  const auto whole = Tree(Root() / "whole" / site.Folder());
  // Cancelled with the log and journal and a few or many files stored.
  for (int stored : {4, 12}) {
    const fs::path folder = Out() / site.Folder();
    const auto cancelled = testing::RunCliUntil(
        {"--workers", "2", "--mode", "duplicate", "-P", Out().string(), site.Url("/index.html")},
        [&](const std::string&) { return testing::HoldsFiles(folder, stored); });
    if (cancelled.status == 0) continue;  // the machine was quicker than the signal
    EXPECT_EQ(cancelled.status, 3) << cancelled.output;
    // What the cancelled copy has links where it can, and nowhere dead.
    EXPECT_TRUE(IsWhole(folder));
    const auto continued = RunCli({"--continue", folder.string()});
    EXPECT_EQ(continued.status, 0) << continued.output;
    EXPECT_EQ(Tree(folder), whole) << stored;
    fs::remove_all(Out());
  }
}

TEST_F(HostileCopy, AnUpdateNeverLeavesTheCopyLessWholeThanItWas) {
  Site site(5ms);
  site.Tree(6);
  const fs::path folder = Out() / site.Folder();
  ASSERT_EQ(RunCli({"--mode", "duplicate", "-P", Out().string(), site.Url("/index.html")}).status,
            0);
  const auto before = Tree(folder);
  // A server that fails for a while: the copy keeps its files and links.
  site.Fail("/p1.html", 503);
  site.Fail("/t2.txt", 503);
  EXPECT_EQ(RunCli({"--update", folder.string()}).status, 1);
  EXPECT_EQ(Tree(folder), before);
  // Cancelled half-way, the same.
  for (auto cancelAfter : {60ms, 200ms}) {
    const auto journal = fs::file_size(folder / "kestrine.journal");
    const auto start = std::chrono::steady_clock::now();
    testing::RunCliUntil({"--workers", "1", "--update", folder.string()}, [&](const std::string&) {
      return fs::file_size(folder / "kestrine.journal") > journal &&
             std::chrono::steady_clock::now() - start >= cancelAfter;
    });
    EXPECT_EQ(Tree(folder), before) << cancelAfter.count();
  }
  EXPECT_TRUE(IsWhole(folder));
}

TEST_F(HostileCopy, AReferenceWrittenToTheWebComesBackOnceItsFileIsStored) {
  Site site;
  site.Tree(2);
  site.Fail("/t1.txt", 503);
  const fs::path folder = Out() / site.Folder();
  EXPECT_EQ(RunCli({"--mode", "duplicate", "-P", Out().string(), site.Url("/index.html")}).status,
            1);
  EXPECT_NE(TempFolder::Read(folder / "p1.html").find("href=\"" + site.Url("/t1.txt") + "\""),
            std::string::npos);
  site.Fail("/t1.txt", 0);
  // The page is unchanged on the server (304): only the mending touches it.
  EXPECT_EQ(RunCli({"--update", folder.string()}).status, 0);
  EXPECT_NE(TempFolder::Read(folder / "p1.html").find("href=\"t1.txt\""), std::string::npos)
      << TempFolder::Read(folder / "p1.html");
  EXPECT_TRUE(IsWhole(folder));
}

TEST_F(HostileCopy, AMovedCopyContinuesWhereItNowLies) {
  Site site(20ms);
  site.Tree(10);
  const fs::path folder = Out() / site.Folder();
  const auto first = testing::RunCliUntil(
      {"--workers", "1", "--mode", "duplicate", "-P", Out().string(), site.Url("/index.html")},
      [&](const std::string&) { return testing::HoldsFiles(folder, 8); });
  ASSERT_EQ(first.status, 3) << first.output;
  const fs::path moved = Root() / "archive" / "mysite";
  fs::create_directories(moved.parent_path());
  fs::rename(folder, moved);
  const auto continued = RunCli({"--continue", moved.string()});
  EXPECT_EQ(continued.status, 0) << continued.output;
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(TempFolder::Read(moved / "t9.txt"), "text 9");
  EXPECT_NE(TempFolder::Read(moved / "download.log").find("End"), std::string::npos);
  EXPECT_TRUE(IsWhole(moved));
  EXPECT_EQ(RunCli({"--verify", moved.string()}).status, 0);
}

}  // namespace
}  // namespace kestrine
