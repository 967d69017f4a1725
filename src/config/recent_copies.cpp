#include "config/recent_copies.h"

#include <algorithm>

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

bool Storable(const std::u16string& text) {
  return !text.empty() && text.find_first_of(u"\t\r\n") == std::u16string::npos;
}

}  // namespace

RecentCopies::RecentCopies(std::u16string configFolder)
    : path_(std::move(configFolder) + u"\\" + kFileName) {}

std::vector<RecentCopies::Copy> RecentCopies::Load() const {
  std::vector<Copy> copies;
  // Eight lines of two paths each: anything larger is no list of ours.
  const auto text = ReadLocalFile(path_, 64 * 1024);
  if (!text) return copies;
  std::size_t begin = 0;
  while (begin < text->size() && copies.size() < kMaximum) {
    std::size_t end = text->find('\n', begin);
    if (end == std::string::npos) end = text->size();
    const std::string_view line(text->data() + begin, end - begin);
    begin = end + 1;
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    Copy copy{StringUtility::FromUtf8(std::string(line.substr(0, tab))),
              StringUtility::FromUtf8(std::string(line.substr(tab + 1)))};
    if (!Storable(copy.siteFolder) || !Storable(copy.startAddress)) continue;
    if (std::find(copies.begin(), copies.end(), copy) == copies.end()) copies.push_back(copy);
  }
  return copies;
}

bool RecentCopies::Add(const Copy& copy) {
  if (!Storable(copy.siteFolder) || !Storable(copy.startAddress)) return false;
  std::vector<Copy> copies = Load();
  copies.erase(std::remove_if(copies.begin(), copies.end(),
                              [&](const Copy& kept) { return kept.siteFolder == copy.siteFolder; }),
               copies.end());
  copies.insert(copies.begin(), copy);
  if (copies.size() > kMaximum) copies.resize(kMaximum);
  std::string text;
  for (const Copy& kept : copies) {
    text += StringUtility::ToUtf8(kept.siteFolder) + '\t' +
            StringUtility::ToUtf8(kept.startAddress) + '\n';
  }
  return WriteLocalFile(path_, text, WriteMode::Truncate);
}

}  // namespace kestrine
