// The address chain: a reference found on a page becomes an absolute address
// and then a local path, in every mode. Whatever the bytes, the path stays
// under the download folder, holds no "." or ".." component and no component
// longer than the file system allows.
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "engine/queue/local_name_registry.h"
#include "fuzz_input.h"
#include "runtime/fs/local_files.h"
#include "site/address/address.h"
#include "site/address/local_name_safety.h"

using namespace kestrine;

namespace {

const std::u16string kRoot = u"/downloads";

void CheckInside(const std::u16string& path) {
  const std::string native = NativePath(path);
  if (native.rfind("/downloads/", 0) != 0) fprintf(stderr, "OUT %s\n", native.c_str());
  KESTRINE_FUZZ_CHECK(native.rfind("/downloads/", 0) == 0);
  std::size_t start = 1;
  while (start <= native.size()) {
    std::size_t end = native.find('/', start);
    if (end == std::string::npos) end = native.size();
    const std::string_view part(native.data() + start, end - start);
    if (part == "." || part == "..") fprintf(stderr, "DOT %s\n", native.c_str());
    KESTRINE_FUZZ_CHECK(part != "." && part != "..");
    if (part.size() > kMaxFileNameBytes)
      fprintf(stderr, "LONG %zu %s\n", part.size(), native.c_str());
    KESTRINE_FUZZ_CHECK(part.size() <= kMaxFileNameBytes);
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [referenceBytes, pageBytes] = fuzz::Halves(data, size);
  const std::u16string reference = fuzz::Text(referenceBytes);
  const std::u16string page = pageBytes.empty()
                                  ? std::u16string(u"http://example.com/news/index.html")
                                  : fuzz::Text(pageBytes);
  if (HasForeignScheme(reference)) return 0;
  const AddressParts pageParts = SplitAbsolute(page);
  const std::u16string address = ResolveReference(reference, pageParts);
  const AddressParts target = SplitAbsolute(address);
  const std::u16string siteHost = SiteHostOf(SitePrefixOf(page));
  for (DownloadMode mode :
       {DownloadMode::BrowsableCopy, DownloadMode::DuplicateSite, DownloadMode::RetrieveFiles}) {
    const std::u16string folder = LocalFolderFor(mode, siteHost, target, kRoot);
    const std::u16string name = LocalFileNameFor(mode, target, 7);
    KESTRINE_FUZZ_CHECK(name.find(u'/') == std::u16string::npos);
    KESTRINE_FUZZ_CHECK(name.find(u'\\') == std::u16string::npos);
    CheckInside(LocalFilePath(folder, name));
    // The engine's own choice of a free name keeps all of that.
    std::deque<std::u16string> kept;
    LocalNameRegistry registry([&kept](std::int32_t number) -> std::u16string_view {
      return kept[static_cast<std::size_t>(number)];
    });
    const std::u16string relative = LocalFolderFor(mode, siteHost, target, u"");
    for (int i = 0; i < 3; ++i) {
      const std::u16string& path = kept.emplace_back(registry.Choose(
          relative.empty() || relative[0] != u'\\' ? relative : relative.substr(1), name));
      registry.Register(path, i);
      CheckInside(LocalFilePath(kRoot, path));
    }
  }
  return 0;
}
