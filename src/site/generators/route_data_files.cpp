#include "site/generators/route_data_files.h"

#include <string>

#include "site/script/found_names.h"

namespace kestrine {

namespace {

// Next.js names a page's segment payload after its folders joined by dots:
// "/guide/intro/" has "__next.guide.intro.__PAGE__.txt".
std::u16string SegmentName(std::u16string_view folder) {
  std::u16string name = u"__next.";
  for (char16_t c : folder.substr(1)) name += c == u'/' ? u'.' : c;
  return name + u"__PAGE__.txt";
}

void NextFiles(std::u16string_view path, FoundNames& guesses) {
  if (!path.ends_with(u'/')) {
    // A page exported without a trailing slash: "/guide/intro.html".
    std::u16string_view route = path;
    if (route.ends_with(u".html")) route.remove_suffix(5);
    guesses.Add(route, u".txt");
    return;
  }
  guesses.Add(path, u"index.txt");
  guesses.Add(path, u"__next._tree.txt");
  guesses.Add(path, u"__next._index.txt");
  guesses.Add(path, SegmentName(path));
}

void SvelteKitFiles(std::u16string_view path, FoundNames& guesses) {
  guesses.Add(path,
              path.ends_with(u'/') || path.ends_with(u".html") ? u"__data.json" : u"/__data.json");
  // What its client asks for to tell whether the app changed since.
  guesses.Add(u"/_app/version.json");
}

}  // namespace

bool RouteDataFiles::Guesses(std::u16string_view inlineScript, std::u16string_view pagePath,
                             FoundNames& guesses) {
  if (pagePath.empty() || pagePath.front() != u'/' || pagePath.size() > 1024) return false;
  if (inlineScript.find(u"self.__next_f") != std::u16string_view::npos) {
    NextFiles(pagePath, guesses);
    return true;
  }
  if (inlineScript.find(u"__sveltekit_") != std::u16string_view::npos) {
    SvelteKitFiles(pagePath, guesses);
    return true;
  }
  return false;
}

}  // namespace kestrine
