#pragma once

#include <string>
#include <string_view>

namespace kestrine {

// The sort-friendly key a CDX index files an address under (SURT, as pywb
// and the archiving tools around it write it): "com,example)/foo?a=1&b=2"
// for "http://www.Example.com/Foo/?b=2&a=1". Scheme, user, fragment,
// default port and a leading "www." go; the host's labels turn around;
// path and query are lower-cased and escaped one way; query arguments are
// sorted. Addresses other than http and https stay as they are.
class Surt {
 public:
  static std::string KeyOf(std::string_view url);
};

}  // namespace kestrine
