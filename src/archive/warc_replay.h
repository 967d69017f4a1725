#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrine {

// The answers an archive recorded, found by their address, so that a viewer
// can give each address what the site gave: the body as sent (its content
// coding kept), its type and coding. Only the places of the records are
// held; a record is read when it is asked for.
class WarcReplay {
 public:
  struct Response {
    int status = 0;
    std::string contentType;
    std::string contentEncoding;
    std::string body;  // with its transfer coding taken off
  };

  // A record whose body is larger than this is left to the copy's file.
  static constexpr std::uint64_t kMaxBody = 64ull * 1024 * 1024;

  // Indexes the successful (2xx) response records of `files`, read in
  // order: a later record of an address stands for it. Unreadable files
  // and records are passed over; the records before them count.
  static WarcReplay Load(const std::vector<std::string>& files);

  bool empty() const { return byAddress_.empty(); }
  std::size_t size() const { return byAddress_.size(); }
  // The recorded answer for an address as recorded ("https://host/p?q"),
  // read from its file; nothing when there is none or it cannot be read.
  std::optional<Response> Find(const std::string& address) const;
  // The latest recorded answer for the address's path with any query.
  std::optional<Response> FindAnyQuery(const std::string& address) const;

 private:
  struct Place {
    std::size_t file = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
  };
  std::vector<std::string> files_;
  std::optional<Response> Read(const Place& place) const;

  std::unordered_map<std::string, Place> byAddress_;
  std::unordered_map<std::string, Place> byPath_;
};

}  // namespace kestrine
