#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrine {

// The copies made or opened last, newest first, for the File menu. Kept in
// "recent-copies" beside quorl.cfg (whose record has no room for them): one
// line per copy, its site folder and start address in UTF-8, a tab between.
class RecentCopies {
 public:
  static constexpr const char16_t* kFileName = u"recent-copies";
  static constexpr std::size_t kMaximum = 8;

  struct Copy {
    std::u16string siteFolder;
    std::u16string startAddress;
    bool operator==(const Copy&) const = default;
  };

  explicit RecentCopies(std::u16string configFolder);
  // Lines that cannot be read are passed over; never more than kMaximum.
  std::vector<Copy> Load() const;
  // Puts the copy first, once, and saves; false when it cannot be kept (a
  // folder or address that holds a tab or a line break, or the file cannot
  // be written).
  bool Add(const Copy& copy);

 private:
  std::u16string path_;
};

}  // namespace kestrine
