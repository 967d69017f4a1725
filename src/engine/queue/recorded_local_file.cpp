#include "engine/queue/recorded_local_file.h"

#include <vector>

#include "engine/queue/address_queue.h"
#include "runtime/string_utility.h"
#include "site/address/local_name_safety.h"

namespace kestrine {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "index-3.html" as "index.html", "v1.2-1" as "v1.2": the name without the
// collision suffix the registry puts before the extension, or the name as
// it is when it carries none.
std::u16string WithoutCollisionSuffix(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  const std::size_t end = dot == std::u16string_view::npos || dot == 0 ? name.size() : dot;
  std::size_t digits = end;
  while (digits > 0 && IsDigit(name[digits - 1])) --digits;
  if (digits == end || digits < 2 || name[digits - 1] != u'-') return std::u16string(name);
  return std::u16string(name.substr(0, digits - 1)) + std::u16string(name.substr(end));
}

// A name the safety rules shortened: "<stem>~<8 hex>" before the extension.
bool IsShortened(std::u16string_view name) {
  const std::size_t tilde = name.rfind(u'~');
  if (tilde == std::u16string_view::npos || tilde + 9 > name.size()) return false;
  for (std::size_t i = tilde + 1; i < tilde + 9; ++i) {
    const char16_t c = name[i];
    if (!IsDigit(c) && !(c >= u'a' && c <= u'f')) return false;
  }
  return true;
}

// The folder the rules give an address, relative to the site folder: the
// rules place every file below the site folder's own name.
std::u16string SiteRelativeFolder(const std::u16string& folder) {
  const std::size_t start = folder.find_first_not_of(u'\\');
  if (start == std::u16string::npos) return {};
  const std::size_t slash = folder.find(u'\\', start);
  if (slash == std::u16string::npos) return {};
  std::u16string rest = folder.substr(slash + 1);
  while (!rest.empty() && rest.back() == u'\\') rest.pop_back();
  return rest;
}

bool ComponentCouldBe(std::u16string_view recorded, std::u16string_view expected) {
  if (recorded == expected) return true;
  const std::u16string plain = WithoutCollisionSuffix(recorded);
  if (plain == expected || plain == std::u16string(expected) + u".html") return true;
  // A long name, or one that a suffix made long, is shortened with a hash.
  return IsShortened(recorded) && StringUtility::ToUtf8(expected).size() > kMaxFileNameBytes - 16;
}

}  // namespace

RecordedLocalFile::RuleName RecordedLocalFile::RuleNameOf(DownloadMode mode,
                                                          const std::u16string& siteHost,
                                                          std::u16string_view address,
                                                          int taskNumber) {
  const AddressParts parts = SplitAbsolute(std::u16string(address));
  RuleName rule{SiteRelativeFolder(LocalFolderFor(mode, siteHost, parts, u"")),
                LocalFileNameFor(mode, parts, taskNumber)};
  std::u16string& top = rule.folder.empty() ? rule.name : rule.folder;
  if (StringUtility::StartsWith(top, kEnginePrefix)) top[0] = u'-';
  return rule;
}

std::vector<std::u16string> RecordedLocalFile::NamesFor(DownloadMode mode,
                                                        const std::u16string& siteHost,
                                                        std::u16string_view address,
                                                        int taskNumber) {
  std::vector<RuleName> rules = {RuleNameOf(mode, siteHost, address, taskNumber)};
  if (mode == DownloadMode::DuplicateSite && !address.ends_with(u'/')) {
    rules.push_back(RuleNameOf(mode, siteHost, std::u16string(address) + u"/", taskNumber));
  }
  const std::u16string extension = PathExtensionOf(std::u16string(address));
  std::vector<std::u16string> names;
  for (const RuleName& rule : rules) {
    names.push_back(rule.Path());
    for (std::u16string_view type : {u"text/html", u"text/css", u"text/javascript",
                                     u"image/svg+xml", u"application/octet-stream"}) {
      if (auto typed = LocalFileNameForType(rule.name, extension, type)) {
        names.push_back(RuleName{rule.folder, *std::move(typed)}.Path());
      }
    }
  }
  return names;
}

bool RecordedLocalFile::CouldBeNamed(std::u16string_view recorded,
                                     const std::vector<std::u16string>& names) {
  for (const std::u16string& name : names) {
    if (CouldBeNamed(recorded, name)) return true;
  }
  return false;
}

bool RecordedLocalFile::IsSafe(std::u16string_view path) {
  if (path.empty()) return false;
  const std::vector<std::u16string_view> components = StringUtility::SplitViews(path, u'\\');
  if (components.empty() || path.back() == u'\\') return false;
  for (std::u16string_view component : components) {
    if (component.empty() || component == u"." || component == u"..") return false;
    for (char16_t c : component) {
      if (c < 0x20 || c == u'/' || c == 0x7F) return false;
    }
    if (StringUtility::ToUtf8(component).size() > kMaxFileNameBytes) return false;
  }
  const std::u16string_view top = components.front();
  return !StringUtility::StartsWith(top, kEnginePrefix) &&
         !(components.size() == 1 &&
           (top == AddressQueue::kLogFileName || top == AddressQueue::kJournalFileName));
}

bool RecordedLocalFile::CouldBeNamed(std::u16string_view recorded, std::u16string_view expected) {
  if (!IsSafe(recorded)) return false;
  const auto have = StringUtility::SplitViews(recorded, u'\\');
  const auto want = StringUtility::SplitViews(expected, u'\\');
  if (have.size() != want.size()) return false;
  for (std::size_t i = 0; i < have.size(); ++i) {
    if (!ComponentCouldBe(have[i], want[i])) return false;
  }
  return true;
}

}  // namespace kestrine
