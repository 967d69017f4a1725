#include "site/address.h"

#include <string_view>
#include <vector>

#include "runtime/string_utility.h"
#include "site/local_name_safety.h"

namespace kestrine {

namespace {

constexpr std::u16string_view kScheme = u"http://";

using S = StringUtility;

// Text operations clamp to the string: a negative or oversized count takes
// nothing or everything.
std::u16string Left(const std::u16string& text, long count) {
  if (count <= 0) return {};
  return text.substr(0, static_cast<std::size_t>(count));
}

std::u16string After(const std::u16string& text, long index) {
  if (index + 1 >= static_cast<long>(text.size())) return {};
  return text.substr(static_cast<std::size_t>(index + 1));
}

std::u16string ReplaceFolderCharacters(std::u16string name) {
  for (std::u16string_view c : {u":", u"*", u"?", u"\"", u"<", u">", u"|"}) {
    name = S::ReplaceAll(std::move(name), c, u"-");
  }
  return name;
}

std::u16string CleanBaseName(std::u16string b) {
  b = S::ReplaceAll(std::move(b), u":", u"-");
  b = S::ReplaceAll(std::move(b), u"*", u"-");
  b = S::ReplaceAll(std::move(b), u"?", u"");
  b = S::ReplaceAll(std::move(b), u"\"", u"-");
  b = S::ReplaceAll(std::move(b), u"<", u"-");
  b = S::ReplaceAll(std::move(b), u">", u"-");
  b = S::ReplaceAll(std::move(b), u"|", u"-");
  b = S::ReplaceAll(std::move(b), u"=", u"");
  b = S::ReplaceAll(std::move(b), u"&amp;", u"-");
  b = S::ReplaceAll(std::move(b), u"&", u"-");
  b = S::ReplaceAll(std::move(b), u"#", u"-");
  return b;
}

std::u16string CleanLongExtension(std::u16string x) {
  x = S::ReplaceAll(std::move(x), u":", u"-");
  x = S::ReplaceAll(std::move(x), u"*", u"-");
  x = S::ReplaceAll(std::move(x), u"?", u"");
  x = S::ReplaceAll(std::move(x), u"&", u"-");
  x = S::ReplaceAll(std::move(x), u"\"", u"-");
  x = S::ReplaceAll(std::move(x), u"<", u"-");
  x = S::ReplaceAll(std::move(x), u">", u"-");
  x = S::ReplaceAll(std::move(x), u"|", u"-");
  x = S::ReplaceAll(std::move(x), u"=", u"");
  x = S::ReplaceAll(std::move(x), u"#", u"-");
  return x;
}

bool IsServerScriptExtension(const std::u16string& x) {
  return S::EqualsIgnoreCaseAscii(x, u"php") || S::EqualsIgnoreCaseAscii(x, u"jsp") ||
         S::EqualsIgnoreCaseAscii(x, u"asp");
}

std::u16string JoinUnderRoot(const std::u16string& root, const std::u16string& folderName) {
  return S::ReplaceAll(root + u"\\" + WithoutDotComponents(folderName), u"\\\\", u"\\");
}

}  // namespace

int LastIndexOf(const std::u16string& text, const std::u16string& sub) {
  const std::size_t at = text.rfind(sub);
  return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

std::u16string NormalizeAddress(const std::u16string& address) {
  if (!S::StartsWith(address, kScheme)) return address;
  std::u16string rest = address.substr(kScheme.size());
  if (rest.find(u'/') == std::u16string::npos) return rest + u"/index.html";
  if (rest.back() == u'/') return rest + u"/index.html";
  return rest;
}

AddressParts SplitAddress(const std::u16string& address) {
  AddressParts parts;
  const int e = LastIndexOf(address, u"/");
  std::u16string file = address;
  if (e > 0) {
    const std::u16string s = Left(address, e);
    file = After(address, e);
    const std::size_t i = s.find(u'/');
    if (i == std::u16string::npos || i < 1) {
      parts.host = s;
    } else {
      parts.host = s.substr(0, i);
      parts.directory = S::ReplaceAll(After(s, static_cast<long>(i)), u"/", u"\\");
    }
  }
  const int d = LastIndexOf(file, u".");
  if (d < 1) {
    parts.baseName = file;
  } else {
    parts.baseName = Left(file, d);
    parts.extension = After(file, d);
  }
  return parts;
}

std::u16string CollapseDotSegments(std::u16string address) {
  // Each round removes one "/../" with the segment before it and starts over,
  // until none is left or the next one stands right behind the host.
  while (true) {
    address = S::ReplaceAll(std::move(address), u"/./", u"/");
    const std::size_t c = address.find(u"/../");
    if (c == std::u16string::npos) return address;
    const std::u16string left = address.substr(0, c);
    const std::u16string right = address.substr(c + 3);
    const auto d = static_cast<unsigned int>(LastIndexOf(left, u"/"));
    if (d <= 7) return left + right;
    address = Left(address, static_cast<long>(static_cast<int>(d))) + right;
  }
}

std::u16string ResolveReference(std::u16string reference, const AddressParts& page) {
  reference = S::ReplaceAll(std::move(reference), u"&amp;", u"&");
  if (S::StartsWith(reference, kScheme)) return CollapseDotSegments(reference);
  if (S::StartsWith(reference, u"//")) return CollapseDotSegments(u"http:" + reference);
  if (S::StartsWith(reference, u"/")) {
    return CollapseDotSegments(std::u16string(kScheme) + page.host + reference);
  }
  std::u16string t = page.host + u"/" + page.directory + u"/" + reference;
  t = S::ReplaceAll(std::move(t), u"\\", u"/");
  t = S::ReplaceAll(std::move(t), u"//", u"/");
  return CollapseDotSegments(std::u16string(kScheme) + t);
}

std::u16string LocalFolderFor(DownloadMode mode, const std::u16string& siteHost,
                              const AddressParts& target, const std::u16string& root) {
  if (mode != DuplicateSite) return SiteFolderFor(siteHost, root);
  std::u16string name = target.host == siteHost
                            ? target.host + u"\\" + target.directory
                            : siteHost + u"\\" + target.host + u"\\" + target.directory;
  return JoinUnderRoot(root, ReplaceFolderCharacters(std::move(name)));
}

std::u16string LocalFileNameFor(DownloadMode mode, const AddressParts& target, int number) {
  const std::u16string b = CleanBaseName(target.baseName);
  std::u16string x = S::TrimWhiteSpace(target.extension);
  if (x.size() > 4) {
    x = CleanLongExtension(std::move(x)) + u".html";
  } else if (x.empty() || IsServerScriptExtension(x)) {
    x = u"html";
  }
  std::u16string name = b + u"." + x;
  if (mode == BrowsableCopy) {
    name = S::FromAscii(std::to_string(number)) + u"." + name;
  } else {
    name = S::ReplaceAll(std::move(name), u"%20", u"");
    name = S::ReplaceAll(std::move(name), u"%", u"");
  }
  return SafeFileName(name);
}

std::u16string LocalFilePath(const std::u16string& folder, const std::u16string& name) {
  return S::ReplaceAll(folder + u"\\" + name, u"\\\\", u"\\");
}

std::u16string RelativeLocalReference(const std::u16string& from, const std::u16string& to) {
  // The components are compared in place; a reference is written for every
  // link of every page, so this avoids splitting both paths into copies.
  const auto fromParts = S::SplitViews(from, u'\\');
  const auto toParts = S::SplitViews(to, u'\\');
  std::size_t k = 0;
  while (k < fromParts.size() && k < toParts.size() && fromParts[k] == toParts[k]) ++k;
  std::u16string result;
  for (std::size_t i = k; i < fromParts.size(); ++i) result += u"..\\";
  for (std::size_t i = k; i < toParts.size(); ++i) {
    if (i > k) result += u'\\';
    result += toParts[i];
  }
  return result;
}

std::u16string SitePrefixOf(const std::u16string& startAddress) {
  const int p = LastIndexOf(startAddress, u"/");
  if (static_cast<unsigned int>(p) <= 7) return startAddress;
  return Left(startAddress, p);
}

std::u16string SiteHostOf(const std::u16string& sitePrefix) {
  return SplitAddress(NormalizeAddress(sitePrefix)).host;
}

std::u16string SiteFolderName(const std::u16string& siteHost) {
  return WithoutDotComponents(ReplaceFolderCharacters(siteHost));
}

std::u16string SiteFolderFor(const std::u16string& siteHost, const std::u16string& root) {
  return JoinUnderRoot(root, SiteFolderName(siteHost));
}

}  // namespace kestrine
