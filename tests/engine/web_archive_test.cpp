// A copy with its web archive, over nginx speaking HTTP/2 and compressing
// text: the copy is the same as without the archive, every stored file has
// its response, whose payload is the file as stored; an update writes
// revisits; a run killed mid-record is repaired by the next; and a changed
// byte of the archive is found.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "archive/warc_reader.h"
#include "archive/warc_writer.h"
#include "encoding/digest.h"
#include "encoding/gunzip.h"
#include "engine/mend/archive_verifier.h"
#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/nginx_server.h"
#include "support/temp_folder.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
using testing::EngineHarness;
using testing::NginxServer;
using testing::TempFolder;

struct Captured {
  std::string type;
  int status = 0;
  std::string protocol;
  std::string payload;  // as recorded: compressed where the server compressed
  std::string file;
};

// The response and revisit records of every file under the name, by
// address (the latest capture).
std::map<std::string, Captured> Responses(const fs::path& base, int* files = nullptr) {
  std::map<std::string, Captured> captured;
  // NAME.warc.gz, then NAME-00001.warc.gz on: the order they were written.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(base.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(base.filename().string()) && name.ends_with(".warc.gz")) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::make_pair(a.size(), a) < std::make_pair(b.size(), b);
  });
  for (const std::string& name : names) {
    EXPECT_TRUE(WarcReader::ForEach(
        (base.parent_path() / name).string(), [&](const WarcReader::Record& record) {
          const std::string type = record.Field("WARC-Type");
          if (type != "response" && type != "revisit") return;
          captured[record.Field("WARC-Target-URI")] = {
              type, record.httpStatus, record.Field("WARC-Protocol"), record.payloadHead, name};
        }));
  }
  if (files != nullptr) *files = static_cast<int>(names.size());
  return captured;
}

class WebArchive : public ::testing::Test {
 protected:
  WebArchive() {
    fs::create_directories(site_.path() / "files");
    std::ofstream(site_.path() / "index.html")
        << "<html><head><title>Archived</title><link rel=stylesheet href=style.css></head>"
           "<body><a href=files/a.bin>a</a><a href=files/b.bin>b</a></body></html>";
    std::ofstream(site_.path() / "style.css") << std::string(2000, ' ') + "body{color:red}";
    std::ofstream(site_.path() / "files" / "a.bin") << std::string(30000, 'a');
    std::ofstream(site_.path() / "files" / "b.bin") << std::string(40000, 'b');
    server_ = std::make_unique<NginxServer>(site_.path(), 0, 100000, true);
  }

  DownloadOptions Options(bool archive) const {
    DownloadOptions options;
    options.caCertificate = server_->CaPath();
    options.robots = false;
    options.sitemaps = false;
    if (archive) {
      options.warcFile = (archives_.path() / "site").string();
      options.warcCdx = true;
      options.wacz = true;
    }
    return options;
  }

  fs::path Copy(bool archive, const std::string& aside) {
    EngineHarness engine;
    engine.project->SetOptions(Options(archive));
    engine.Start(server_->Url("/index.html"), DownloadMode::DuplicateSite);
    engine.Wait();
    EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 4);
    const fs::path folder = NativePath(engine.project->siteFolder());
    fs::rename(folder, copies_.path() / aside);
    return copies_.path() / aside;
  }

  void Update(const fs::path& folder) {
    EngineHarness engine(2);
    engine.project->SetOptions(Options(true));
    ASSERT_TRUE(engine.project->RestoreFromJournal(StringUtility::FromUtf8(folder.string()), true));
    engine.project->ResumeProject();
    engine.Wait();
  }

  fs::path Base() const { return archives_.path() / "site"; }

  TempFolder site_;
  TempFolder copies_;
  TempFolder archives_;
  std::unique_ptr<NginxServer> server_;
};

TEST_F(WebArchive, EveryStoredFileHasItsResponseAsReceivedAndTheCopyIsUnchanged) {
  ASSERT_TRUE(server_->IsRunning());
  const fs::path plain = Copy(false, "plain");
  const fs::path archived = Copy(true, "archived");
  for (const std::string file : {"index.html", "style.css", "files/a.bin", "files/b.bin"}) {
    EXPECT_EQ(TempFolder::Read(plain / file), TempFolder::Read(archived / file)) << file;
  }
  const auto responses = Responses(Base());
  const auto response = [&](const std::string& path) {
    return responses.at(StringUtility::ToUtf8(server_->Url(path)));
  };
  // Files stored as received: the payload is the file. The style sheet came
  // compressed and stays so in the record.
  EXPECT_EQ(response("/files/a.bin").payload, TempFolder::Read(archived / "files/a.bin"));
  EXPECT_EQ(response("/files/a.bin").protocol, "h2");
  const Captured sheet = response("/style.css");
  EXPECT_TRUE(LooksGzipped(sheet.payload));
  EXPECT_EQ(Gunzip(sheet.payload, 1 << 20).value(), TempFolder::Read(site_.path() / "style.css"));
  EXPECT_TRUE(fs::exists(Base().string() + ".wacz"));
  EXPECT_TRUE(fs::exists(Base().string() + ".cdxj"));
  const ArchiveVerifier::Report report =
      ArchiveVerifier::Verify(StringUtility::FromUtf8(archived.string()), Base().string());
  EXPECT_TRUE(report.ok()) << report.Summary();
  EXPECT_EQ(report.files, 1);
}

TEST_F(WebArchive, AnUpdateWritesRevisitsInANewNumberedFile) {
  const fs::path copy = Copy(true, "copy");
  Update(copy);
  int files = 0;
  const auto responses = Responses(Base(), &files);
  EXPECT_EQ(files, 2);
  // nginx answers the conditional requests 304: nothing is stored again.
  const Captured page = responses.at(StringUtility::ToUtf8(server_->Url("/files/b.bin")));
  EXPECT_EQ(page.type, "revisit");
  EXPECT_EQ(page.file, "site-00001.warc.gz");
  const ArchiveVerifier::Report report =
      ArchiveVerifier::Verify(StringUtility::FromUtf8(copy.string()), Base().string());
  EXPECT_TRUE(report.ok()) << report.Summary();
}

TEST_F(WebArchive, ARecordCutShortIsRepairedAndAChangedByteIsFound) {
  const fs::path copy = Copy(true, "copy");
  const std::string file = Base().string() + ".warc.gz";
  const auto whole = fs::file_size(file);
  // As a run killed while it wrote leaves it.
  fs::resize_file(file, whole - 7);
  ArchiveVerifier::Report report =
      ArchiveVerifier::Verify(StringUtility::FromUtf8(copy.string()), Base().string());
  EXPECT_FALSE(report.ok());
  Update(copy);
  EXPECT_LT(fs::file_size(file), whole - 7);
  report = ArchiveVerifier::Verify(StringUtility::FromUtf8(copy.string()), Base().string());
  EXPECT_EQ(report.problemCount, 0) << report.Summary();
  {
    // A record whose block is not what its digest says.
    WarcWriter writer({(copies_.path() / "changed").string(), 0, -1, {}});
    WarcRecord record;
    record.type = "resource";
    record.id = WarcRecord::NewId();
    record.date = "2026-12-08T00:00:00Z";
    record.fields = {{"WARC-Target-URI", "http://example.com/"},
                     {"WARC-Block-Digest", Digest::Sha1Of("other bytes")}};
    record.head = "these bytes";
    ASSERT_TRUE(writer.Write({record}));
  }
  report = ArchiveVerifier::Verify(StringUtility::FromUtf8(copy.string()),
                                   (copies_.path() / "changed").string());
  EXPECT_EQ(report.problemCount, 1) << report.Summary();
}

}  // namespace
}  // namespace kestrine
