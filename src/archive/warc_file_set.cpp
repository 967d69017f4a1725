#include "archive/warc_file_set.h"

#include <dirent.h>

#include <algorithm>
#include <optional>

namespace kestrine {

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The number of NAME-00012.warc.gz (12), of NAME.warc.gz (-1), or nothing
// for another file.
std::optional<int> NumberOf(const std::string& name, const std::string& stem) {
  if (name == stem + ".warc.gz") return -1;
  if (!name.starts_with(stem + "-") || !name.ends_with(".warc.gz")) return std::nullopt;
  const std::string digits = name.substr(stem.size() + 1, name.size() - stem.size() - 9);
  if (digits.size() != 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(digits);
}

}  // namespace

std::string WarcFileSet::NameOnly(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<WarcFileSet::File> WarcFileSet::Of(const std::string& base) {
  std::vector<File> files;
  const std::string folderPath = FolderOf(base);
  DIR* folder = ::opendir(folderPath.c_str());
  if (folder == nullptr) return files;
  const std::string stem = NameOnly(base);
  while (const dirent* entry = ::readdir(folder)) {
    if (const auto number = NumberOf(entry->d_name, stem)) {
      files.push_back({*number, folderPath + "/" + entry->d_name});
    }
  }
  ::closedir(folder);
  std::sort(files.begin(), files.end(),
            [](const File& a, const File& b) { return a.number < b.number; });
  return files;
}

}  // namespace kestrine
