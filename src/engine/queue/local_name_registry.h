#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "runtime/containers/key_index.h"

namespace kestrine {

// Every local file of a project, so that no two addresses share a file and
// no address's file is another address's folder. Paths are relative to the
// site folder, "\"-separated. The engine's own files are reserved here
// too, so a site file can never be one of them.
//
// A wanted path that is taken gets a deterministic alternative: the file
// name takes "-1", "-2", ... before its extension (index.html, index-1.html);
// a folder that would be an existing file takes the same suffix, and every
// later file of that folder follows it there.
class LocalNameRegistry {
 public:
  // Where the registry finds the path an address was registered with: the
  // paths stay with their owner, the registry keeps numbers.
  explicit LocalNameRegistry(KeyIndex::KeyOf pathOf) : files_(std::move(pathOf)) {}

  // The path to store an address under: `folder\name` when free, else the
  // first free alternative. Does not claim it; Register does.
  std::u16string Choose(std::u16string_view folder, const std::u16string& name) const;
  // Claims a path for the address numbered `number`, whose path the
  // registry's pathOf gives from now on.
  void Register(std::u16string_view path, std::int32_t number);
  // The address numbered `number` moves from one path to another (its
  // answer asked for another name): the old path stays its own, so what
  // was written to it can still be told, and nobody else takes it.
  void Rename(std::u16string_view from, std::u16string_view to, std::int32_t number);
  // A path an address had in an earlier run of its copy.
  void AddFormerPath(std::u16string path, std::int32_t number);
  // Claims a path for the engine's own use.
  void Reserve(std::u16string path);
  // Whether nothing, neither a file nor a folder nor the engine, has the
  // path yet.
  bool IsFree(const std::u16string& path) const { return !IsTaken(path); }
  // The number of the address stored under this path, if any.
  std::optional<std::int32_t> Holder(std::u16string_view path) const;
  void Clear();

 private:
  bool IsTaken(const std::u16string& path) const;
  // A site's file or one of the engine's own.
  bool IsFile(std::u16string_view path) const;
  void RegisterFolders(std::u16string_view path);
  static std::uint64_t HashOf(std::u16string_view path);
  std::u16string ResolveFolder(std::u16string_view folder) const;
  std::u16string FirstFree(const std::u16string& path) const;

  KeyIndex files_;
  // Folders by the hash of their path: a deep site has as many folders as
  // files, and their paths grow with the depth.
  std::unordered_set<std::uint64_t> folders_;
  // Folders that had to move aside for a file, and where they went. Filled
  // lazily by Choose, which is why it is mutable.
  mutable std::unordered_map<std::u16string, std::u16string> movedFolders_;
  // For each wanted path that was taken, the suffix its last search for an
  // alternative ended at: the thousandth address wanting one name costs no
  // more than the second. Filled by Choose too.
  mutable std::unordered_map<std::u16string, int> nextSuffix_;
  std::vector<std::u16string> reserved_;
  // Paths an address had before it was renamed: few, so kept as they are.
  std::unordered_map<std::u16string, std::int32_t> formerPaths_;
};

}  // namespace kestrine
