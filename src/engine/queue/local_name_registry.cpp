#include "engine/queue/local_name_registry.h"

#include <algorithm>
#include <functional>
#include <string>

#include "runtime/string_utility.h"
#include "site/address/local_name_safety.h"

namespace kestrine {

namespace {

std::u16string Joined(const std::u16string& folder, std::u16string_view name) {
  if (folder.empty()) return std::u16string(name);
  return folder + u"\\" + std::u16string(name);
}

// The path with "-k" before the extension of its last component, kept within
// the file system's length for one name.
std::u16string WithSuffix(const std::u16string& path, int k) {
  const std::size_t slash = path.rfind(u'\\');
  const std::u16string folder = slash == std::u16string::npos ? u"" : path.substr(0, slash + 1);
  const std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  const std::u16string suffix = u"-" + StringUtility::FromAscii(std::to_string(k));
  const std::size_t dot = name.rfind(u'.');
  const std::u16string suffixed = dot == std::u16string::npos || dot == 0
                                      ? name + suffix
                                      : name.substr(0, dot) + suffix + name.substr(dot);
  return folder + SafeFileName(suffixed);
}

}  // namespace

std::uint64_t LocalNameRegistry::HashOf(std::u16string_view path) {
  return std::hash<std::u16string_view>{}(path);
}

bool LocalNameRegistry::IsFile(std::u16string_view path) const {
  if (files_.Find(path)) return true;
  if (!formerPaths_.empty() && formerPaths_.count(std::u16string(path)) > 0) return true;
  return std::find(reserved_.begin(), reserved_.end(), path) != reserved_.end();
}

bool LocalNameRegistry::IsTaken(const std::u16string& path) const {
  return IsFile(path) || folders_.count(HashOf(path)) > 0;
}

std::u16string LocalNameRegistry::ResolveFolder(std::u16string_view folder) const {
  std::u16string current;
  std::size_t start = 0;
  while (start <= folder.size()) {
    std::size_t end = folder.find(u'\\', start);
    if (end == std::u16string_view::npos) end = folder.size();
    if (end > start) {
      std::u16string candidate = Joined(current, folder.substr(start, end - start));
      if (const auto moved = movedFolders_.find(candidate); moved != movedFolders_.end()) {
        candidate = moved->second;
      } else if (IsFile(candidate)) {
        std::u16string aside = FirstFree(candidate);
        movedFolders_.emplace(candidate, aside);
        candidate = std::move(aside);
      }
      current = std::move(candidate);
    }
    start = end + 1;
  }
  return current;
}

std::u16string LocalNameRegistry::Choose(std::u16string_view folder,
                                         const std::u16string& name) const {
  return FirstFree(Joined(ResolveFolder(folder), name));
}

// The path when free, else its first free "-k" alternative at or after
// where the last search for it ended: names are claimed, never given back,
// within a run.
std::u16string LocalNameRegistry::FirstFree(const std::u16string& path) const {
  if (!IsTaken(path)) return path;
  int& next = nextSuffix_[path];
  for (next = std::max(next, 1);; ++next) {
    std::u16string alternative = WithSuffix(path, next);
    if (!IsTaken(alternative)) return alternative;
  }
}

void LocalNameRegistry::RegisterFolders(std::u16string_view path) {
  for (std::size_t slash = path.find(u'\\'); slash != std::u16string_view::npos;
       slash = path.find(u'\\', slash + 1)) {
    folders_.insert(HashOf(path.substr(0, slash)));
  }
}

void LocalNameRegistry::Register(std::u16string_view path, std::int32_t number) {
  files_.Insert(path, number);
  RegisterFolders(path);
}

void LocalNameRegistry::Reserve(std::u16string path) {
  RegisterFolders(path);
  reserved_.push_back(std::move(path));
}

std::optional<std::int32_t> LocalNameRegistry::Holder(std::u16string_view path) const {
  if (const auto holder = files_.Find(path)) return holder;
  if (formerPaths_.empty()) return std::nullopt;
  const auto former = formerPaths_.find(std::u16string(path));
  if (former == formerPaths_.end()) return std::nullopt;
  return former->second;
}

void LocalNameRegistry::Rename(std::u16string_view from, std::u16string_view to,
                               std::int32_t number) {
  // The index keeps the hash of the old path in a slot that no longer finds
  // anything: its key is the new path now.
  formerPaths_.emplace(std::u16string(from), number);
  Register(to, number);
}

void LocalNameRegistry::AddFormerPath(std::u16string path, std::int32_t number) {
  RegisterFolders(path);
  formerPaths_.emplace(std::move(path), number);
}

void LocalNameRegistry::Clear() {
  files_.Clear();
  formerPaths_.clear();
  folders_.clear();
  movedFolders_.clear();
  nextSuffix_.clear();
  reserved_.clear();
}

}  // namespace kestrine
