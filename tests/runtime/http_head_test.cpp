// Fields read in place from a message head as a server may write it: any
// case, CRLF or bare LF, blanks around the value, a start line that looks
// like a field.
#include "runtime/http_head.h"

#include <gtest/gtest.h>

namespace kestrine {
namespace {

TEST(HttpHead, FieldsAreFoundInAnyCaseAndWithoutTheirBlanks) {
  const std::string_view head =
      "HTTP/1.1 200 OK\r\ncontent-TYPE:  text/html; charset=utf-8 \r\n"
      "Content-Length:12\r\nX-Empty:\r\nContent-Length: 99\r\n\r\n";
  EXPECT_EQ(HttpHead::Field(head, "Content-Type"), "text/html; charset=utf-8");
  // The first of two is the one.
  EXPECT_EQ(HttpHead::Field(head, "content-length"), "12");
  EXPECT_TRUE(HttpHead::HasField(head, "x-empty"));
  EXPECT_EQ(HttpHead::Field(head, "X-Empty"), "");
  EXPECT_FALSE(HttpHead::HasField(head, "Content-Encoding"));
  // A longer or shorter name is another field.
  EXPECT_FALSE(HttpHead::HasField(head, "Content-Typ"));
  EXPECT_FALSE(HttpHead::HasField(head, "Content-Types"));
}

TEST(HttpHead, TheStartLineIsNoFieldAndBareLineFeedsEndLines) {
  EXPECT_FALSE(HttpHead::HasField("Location: http://a/\r\n\r\n", "Location"));
  const std::string_view bare = "HTTP/1.0 302 Found\nLocation: /next\nServer: x\n\n";
  EXPECT_EQ(HttpHead::Field(bare, "location"), "/next");
  EXPECT_EQ(HttpHead::Field(bare, "Server"), "x");
  // A head cut off after a name still answers.
  EXPECT_EQ(HttpHead::Field("HTTP/1.1 200 OK\r\nVary: Accept", "vary"), "Accept");
  EXPECT_FALSE(HttpHead::HasField("", "Vary"));
}

TEST(HttpHead, ValuesHoldWordsInAnyCase) {
  EXPECT_TRUE(HttpHead::Holds("gzip, Chunked", "chunked"));
  EXPECT_FALSE(HttpHead::Holds("gzip", "chunked"));
  EXPECT_FALSE(HttpHead::Holds("chunk", "chunked"));
  EXPECT_TRUE(HttpHead::SameName("ETag", "etag"));
  EXPECT_FALSE(HttpHead::SameName("ETag", "ETags"));
}

}  // namespace
}  // namespace kestrine
