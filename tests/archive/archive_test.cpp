// The pieces of a web archive: digests as WARC labels them, chunked coding
// taken off in any split, SURT keys, records written and read back, and
// what an HTTP transfer shows of the wire.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/cdxj_index.h"
#include "archive/surt.h"
#include "archive/warc_reader.h"
#include "archive/warc_replay.h"
#include "archive/warc_writer.h"
#include "encoding/chunked_decoder.h"
#include "encoding/digest.h"
#include "encoding/gunzip.h"
#include "runtime/net/http_client.h"
#include "site/html/page_text.h"
#include "support/gzip.h"
#include "support/temp_folder.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

using testing::TempFolder;
using testing::TestServer;

TEST(Digest, LabelsAsArchivesWriteThem) {
  // The SHA-1 of nothing, as every WARC tool writes it.
  EXPECT_EQ(Digest::Sha1Of(""), "sha1:3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ");
  Digest sha256(Digest::Kind::Sha256);
  sha256.Add("abc");
  EXPECT_EQ(sha256.HexLabel(),
            "sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Fed in pieces, the same.
  Digest pieces(Digest::Kind::Sha1);
  pieces.Add("hello ");
  pieces.Add("world");
  EXPECT_EQ(pieces.WarcLabel(), Digest::Sha1Of("hello world"));
}

TEST(ChunkedDecoder, TakesOffTheFramingHoweverTheBytesAreSplit) {
  const std::string wire = "5;name=value\r\nhello\r\n6\r\n world\r\n0\r\nTrailer: x\r\n\r\n";
  for (std::size_t split = 0; split <= wire.size(); ++split) {
    std::string data;
    ChunkedDecoder decoder([&data](std::string_view bytes) { data.append(bytes); });
    decoder.Add(std::string_view(wire).substr(0, split));
    decoder.Add(std::string_view(wire).substr(split));
    EXPECT_EQ(data, "hello world") << split;
    EXPECT_TRUE(decoder.Done()) << split;
  }
  // Junk where a size belongs, and a size past any body, end the reading.
  ChunkedDecoder junk([](std::string_view) {});
  junk.Add("zz\r\n");
  EXPECT_TRUE(junk.Failed());
  ChunkedDecoder huge([](std::string_view) {});
  huge.Add("fffffffffffffffff\r\n");
  EXPECT_TRUE(huge.Failed());
}

TEST(Surt, KeysAsPywbFilesThem) {
  EXPECT_EQ(Surt::KeyOf("http://www.Example.com/Foo/?b=2&a=1"), "com,example)/foo?a=1&b=2");
  EXPECT_EQ(Surt::KeyOf("https://example.com:443/"), "com,example)/");
  EXPECT_EQ(Surt::KeyOf("http://127.0.0.1:8080/a/./b/../c.html#top"), "1,0,0,127:8080)/a/c.html");
  EXPECT_EQ(Surt::KeyOf("http://user:pw@Sub.Example.org/%7Euser/a%20b"),
            "org,example,sub)/~user/a%20b");
  EXPECT_EQ(Surt::KeyOf("mailto:someone@example.com"), "mailto:someone@example.com");
}

TEST(CdxjIndex, LinesSortAndCarryTheSecondOfTheRecord) {
  CdxjIndex index;
  index.Add({"http://example.com/b", "2026-12-08T17:44:27.385021Z", "text/html", 200, "ABC", 10, 20,
             "x.warc.gz"});
  index.Add({"http://example.com/a", "2026-12-08T17:44:28Z", "warc/revisit", 0, "DEF", 30, 40,
             "x.warc.gz"});
  const std::vector<std::string> lines = index.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "com,example)/a 20261208174428 {\"url\":\"http://example.com/a\",\"mime\":"
            "\"warc/revisit\",\"digest\":\"DEF\",\"length\":\"40\",\"offset\":\"30\","
            "\"filename\":\"x.warc.gz\"}");
  EXPECT_NE(lines[1].find(" 20261208174427 "), std::string::npos);
  EXPECT_NE(lines[1].find("\"status\":\"200\""), std::string::npos);
}

WarcRecord Resource(const std::string& text) {
  WarcRecord record;
  record.type = "resource";
  record.id = WarcRecord::NewId();
  record.date = "2026-12-08T17:44:27.385021Z";
  record.fields = {{"WARC-Target-URI", "http://example.com/"},
                   {"Content-Type", "text/plain"},
                   {"WARC-Block-Digest", Digest::Sha1Of(text)}};
  record.head = text;
  return record;
}

TEST(WarcWriter, RecordsReadBackWholeAtTheirOffsetsAndFilesRollOver) {
  TempFolder folder;
  const std::string base = (folder.path() / "crawl").string();
  WarcWriter writer({base, 1, -1, {{"robots", "obey"}}});
  std::vector<WarcWriter::Placed> placed;
  for (int i = 0; i < 3; ++i) {
    const auto written = writer.Write(
        {Resource("first " + std::to_string(i)), Resource("second " + std::to_string(i))});
    ASSERT_TRUE(written);
    placed.insert(placed.end(), written->begin(), written->end());
  }
  // A limit of one byte: every write after the first begins a file, and
  // records given together stay together.
  const std::vector<std::string> files = writer.Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], base + "-00000.warc.gz");
  EXPECT_EQ(files[2], base + "-00002.warc.gz");
  EXPECT_EQ(placed[0].file, placed[1].file);
  int records = 0;
  for (const std::string& file : files) {
    const Status read = WarcReader::ForEach(file, [&](const WarcReader::Record& record) {
      ++records;
      EXPECT_EQ(record.Field("WARC-Block-Digest").empty() ? record.blockDigest
                                                          : record.Field("WARC-Block-Digest"),
                record.blockDigest);
    });
    EXPECT_TRUE(read) << read.error().message;
  }
  EXPECT_EQ(records, 9);  // a warcinfo and two resources per file
  // An earlier run's file is never written over.
  WarcWriter again({base, 1, 0, {}});
  EXPECT_FALSE(again.Write({Resource("x")}));
}

TEST(WarcReader, SaysWhereAFileIsCutShortOrNoArchive) {
  TempFolder folder;
  const std::string base = (folder.path() / "cut").string();
  WarcWriter writer({base, 0, -1, {}});
  ASSERT_TRUE(writer.Write({Resource(std::string(5000, 'a'))}));
  const std::string file = base + ".warc.gz";
  const auto whole = std::filesystem::file_size(file);
  std::filesystem::resize_file(file, whole - 10);
  int records = 0;
  const Status read = WarcReader::ForEach(file, [&](const WarcReader::Record&) { ++records; });
  ASSERT_FALSE(read);
  EXPECT_NE(read.error().message.find("cut short"), std::string::npos);
  EXPECT_EQ(records, 1);  // the warcinfo before it
  const std::string junk = (folder.path() / "junk.warc.gz").string();
  {
    std::ofstream out(junk);
    out << "not gzip at all";
  }
  EXPECT_FALSE(WarcReader::ForEach(junk, [](const WarcReader::Record&) {}));
  const std::string gzipped = (folder.path() / "text.warc.gz").string();
  {
    std::ofstream out(gzipped, std::ios::binary);
    out << testing::Gzipped("HTTP/1.1 200 OK\r\n\r\n");
  }
  EXPECT_FALSE(WarcReader::ForEach(gzipped, [](const WarcReader::Record&) {}));
}

// A response record as a gzip member, its block as given.
std::string ResponseMember(const std::string& uri, const std::string& block) {
  return testing::Gzipped("WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
                          "\r\nContent-Type: application/http; msgtype=response\r\n"
                          "Content-Length: " +
                          std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n");
}

// What a viewer gives for an address: the body with its chunking taken
// off and its coding kept, the latest success of each address, and never a
// header value that could end its line.
TEST(WarcReplay, AnswersTheLatestSuccessAsItCame) {
  TempFolder folder;
  const std::string file = (folder.path() / "site.warc.gz").string();
  {
    std::ofstream out(file, std::ios::binary);
    out << ResponseMember(
               "http://h.example/a.json?v=1",
               "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
               "Transfer-Encoding: chunked\r\n\r\n4\r\n{\"a\"\r\n2\r\n:1\r\n1\r\n}\r\n0\r\n\r\n")
        << ResponseMember("http://h.example/gone", "HTTP/1.1 404 Not Found\r\n\r\nno")
        << ResponseMember("http://h.example/page",
                          "HTTP/1.1 200 OK\r\nContent-Type: text/html\nSet-Cookie: x=1\r\n"
                          "Content-Encoding: gzip\r\n\r\nZZ")
        << ResponseMember("http://h.example/b?x=1", "HTTP/1.1 200 OK\r\n\r\nold")
        << ResponseMember("http://h.example/b?x=1", "HTTP/1.1 200 OK\r\n\r\nnew");
  }
  const WarcReplay replay = WarcReplay::Load({file});
  EXPECT_EQ(replay.size(), 3u);
  const auto json = replay.Find("http://h.example/a.json?v=1");
  ASSERT_TRUE(json);
  EXPECT_EQ(json->body, "{\"a\":1}");
  EXPECT_EQ(json->contentType, "application/json");
  EXPECT_FALSE(replay.Find("http://h.example/gone"));
  const auto page = replay.Find("http://h.example/page");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->contentType, "");
  EXPECT_EQ(page->contentEncoding, "gzip");
  EXPECT_EQ(page->body, "ZZ");
  EXPECT_EQ(replay.Find("http://h.example/b?x=1")->body, "new");
  EXPECT_EQ(replay.FindAnyQuery("http://h.example/b?y=2")->body, "new");
  EXPECT_FALSE(replay.Find("http://h.example/b?y=2"));
  // A file that is no archive gives nothing to answer with.
  const std::string junk = (folder.path() / "junk.warc.gz").string();
  std::ofstream(junk) << "not an archive";
  EXPECT_TRUE(WarcReplay::Load({junk, (folder.path() / "absent.warc.gz").string()}).empty());
}

TEST(PageText, TitleAndVisibleWordsOnly) {
  const PageText page = PageText::Of(
      u"<html><head><title> A &amp; B </title><style>p{x:1}</style>"
      u"<script>var hidden = 1;</script></head><body><h1>Big</h1><!-- not this -->"
      u"<p>two&nbsp;words<br>next\n\n line</p><textarea>typed</textarea></body></html>");
  EXPECT_EQ(page.title, u"A & B");
  EXPECT_EQ(page.text, u"Big two words next line typed");
  EXPECT_EQ(PageText::Of(u"<p>" + std::u16string(100, u'x') + u"</p>", 10).text.size(), 10u);
}

TEST(ExchangeCapture, KeepsTheWireFormOfEveryHop) {
  TestServer server;
  server.server().Get("/old", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/chunked");
  });
  server.server().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](std::size_t, httplib::DataSink& sink) {
      sink.write("hello ", 6);
      sink.write("world", 5);
      sink.done();
      return true;
    });
  });
  HttpClient client;
  client.SinkToMemory(1 << 20);
  client.CaptureExchanges(true);
  ASSERT_TRUE(client.Navigate2(server.WideUrl("/old")));
  EXPECT_EQ(client.GetMemoryBody(), "hello world");
  std::vector<CapturedExchange> exchanges = client.TakeExchanges();
  ASSERT_EQ(exchanges.size(), 2u);
  EXPECT_EQ(exchanges[0].status, 302);
  EXPECT_EQ(exchanges[0].targetUri, server.Url("/old"));
  EXPECT_TRUE(exchanges[0].requestHead.starts_with("GET /old HTTP/1.1\r\n"));
  const CapturedExchange& chunked = exchanges[1];
  EXPECT_EQ(chunked.targetUri, server.Url("/chunked"));
  EXPECT_TRUE(chunked.complete);
  EXPECT_NE(chunked.responseHead.find("Transfer-Encoding: chunked"), std::string::npos);
  // The body as it came, compressed and chunked; the payload digest
  // without the chunking but still compressed.
  EXPECT_NE(chunked.responseHead.find("Content-Encoding: gzip"), std::string::npos);
  const std::string wire = chunked.body.Head(1000);
  std::string payload;
  ChunkedDecoder dechunk([&payload](std::string_view bytes) { payload.append(bytes); });
  dechunk.Add(wire);
  ASSERT_TRUE(dechunk.Done());
  EXPECT_EQ(Gunzip(payload, 1 << 20).value(), "hello world");
  EXPECT_EQ(chunked.payloadDigest, Digest::Sha1Of(payload));
  EXPECT_EQ(chunked.blockDigest, Digest::Sha1Of(chunked.responseHead + wire));
  EXPECT_EQ(chunked.ipAddress, "127.0.0.1");
  EXPECT_TRUE(client.TakeExchanges().empty());
}

}  // namespace
}  // namespace kestrine
