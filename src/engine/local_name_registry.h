#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace kestrine {

// Every local file of a project, so that no two addresses share a file and
// no address's file is another address's folder. Paths are relative to the
// download folder, "\"-separated. The engine's own files are reserved here
// too, so a site file can never be one of them.
//
// A wanted path that is taken gets a deterministic alternative: the file
// name takes "-1", "-2", ... before its extension (index.html, index-1.html);
// a folder that would be an existing file takes the same suffix, and every
// later file of that folder follows it there.
class LocalNameRegistry {
 public:
  // The path to store an address under: `folder\name` when free, else the
  // first free alternative. Does not claim it; Register does.
  std::u16string Choose(std::u16string_view folder, const std::u16string& name) const;
  // Claims a path for the address numbered `number`. The view must stay
  // valid until Clear.
  void Register(std::u16string_view path, std::int32_t number);
  // Claims a path for the engine's own use.
  void Reserve(std::u16string path);
  // The number of the address stored under this path, if any.
  std::optional<std::int32_t> Holder(std::u16string_view path) const;
  void Clear();

 private:
  static constexpr std::int32_t kReserved = -1;
  bool IsTaken(const std::u16string& path) const;
  static std::uint64_t HashOf(std::u16string_view path);
  std::u16string ResolveFolder(std::u16string_view folder) const;

  std::unordered_map<std::u16string_view, std::int32_t> files_;
  // Folders by the hash of their path: a deep site has as many folders as
  // files, and their paths grow with the depth.
  std::unordered_set<std::uint64_t> folders_;
  // Folders that had to move aside for a file, and where they went. Filled
  // lazily by Choose, which is why it is mutable.
  mutable std::unordered_map<std::u16string, std::u16string> movedFolders_;
  std::deque<std::u16string> reserved_;
};

}  // namespace kestrine
