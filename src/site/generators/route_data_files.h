#pragma once

#include <string_view>

namespace kestrine {

class FoundNames;

// Routers that fetch a route's data by a name they build from the route's
// path, which no file names: Next.js's app router (its React Server
// Component payloads, "index.txt" and the segment files beside a page) and
// SvelteKit ("__data.json"). A page that starts either gets its own data's
// names as guesses: what a click on a link to it asks for.
class RouteDataFiles {
 public:
  // The names for the page at `pagePath` ("/guide/intro/"), root-relative,
  // when `inlineScript` is one of those routers' start-up scripts; whether
  // it was.
  static bool Guesses(std::u16string_view inlineScript, std::u16string_view pagePath,
                      FoundNames& guesses);
};

}  // namespace kestrine
