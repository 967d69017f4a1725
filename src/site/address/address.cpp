#include "site/address/address.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/string_utility.h"
#include "site/address/local_name_safety.h"

namespace kestrine {

namespace {

using Replacement = std::pair<std::u16string_view, std::u16string_view>;

// Text operations clamp to the string: a negative or oversized count takes
// nothing or everything.
std::u16string FirstCharacters(const std::u16string& text, long count) {
  if (count <= 0) return {};
  return text.substr(0, static_cast<std::size_t>(count));
}

std::u16string CharactersAfter(const std::u16string& text, long index) {
  if (index + 1 >= static_cast<long>(text.size())) return {};
  return text.substr(static_cast<std::size_t>(index + 1));
}

template <std::size_t N>
std::u16string ReplaceEach(std::u16string text, const Replacement (&table)[N]) {
  for (const auto& [from, to] : table) {
    text = StringUtility::ReplaceAll(std::move(text), from, to);
  }
  return text;
}

// Each table in the order the replacements are applied.
constexpr Replacement kFolderCharacters[] = {
    {u":", u"-"}, {u"*", u"-"}, {u"?", u"-"}, {u"\"", u"-"},
    {u"<", u"-"}, {u">", u"-"}, {u"|", u"-"},
};
constexpr Replacement kBaseNameCharacters[] = {
    {u":", u"-"}, {u"*", u"-"}, {u"?", u""},      {u"\"", u"-"}, {u"<", u"-"}, {u">", u"-"},
    {u"|", u"-"}, {u"=", u""},  {u"&amp;", u"-"}, {u"&", u"-"},  {u"#", u"-"},
};
constexpr Replacement kLongExtensionCharacters[] = {
    {u":", u"-"}, {u"*", u"-"}, {u"?", u""},  {u"&", u"-"}, {u"\"", u"-"},
    {u"<", u"-"}, {u">", u"-"}, {u"|", u"-"}, {u"=", u""},  {u"#", u"-"},
};

bool IsServerScriptExtension(const std::u16string& x) {
  return StringUtility::EqualsIgnoreCaseAscii(x, u"php") ||
         StringUtility::EqualsIgnoreCaseAscii(x, u"jsp") ||
         StringUtility::EqualsIgnoreCaseAscii(x, u"asp");
}

bool IsOneOf(std::u16string_view x, std::initializer_list<std::u16string_view> list) {
  for (std::u16string_view item : list) {
    if (StringUtility::EqualsIgnoreCaseAscii(x, item)) return true;
  }
  return false;
}

// Path endings of pages, which a query string (or a long extension) does
// not change: such a name still gets ".html".
bool IsPageExtension(std::u16string_view x) {
  return IsOneOf(
      x, {u"php", u"php3", u"php4", u"php5", u"phtml", u"asp", u"aspx", u"jsp", u"jspx", u"cgi",
          u"pl", u"py", u"cfm", u"do", u"action", u"html", u"htm", u"shtml", u"xhtml"});
}

bool IsHtmlLikeExtension(std::u16string_view x) {
  return IsOneOf(x, {u"html", u"htm", u"xhtml", u"xht", u"shtml"});
}

// The extension a browser reading from disk needs for a type; empty when
// the type needs none.
std::u16string_view ExtensionForType(std::u16string_view type) {
  const auto is = [&](std::u16string_view prefix) {
    return type.size() >= prefix.size() &&
           StringUtility::EqualsIgnoreCaseAscii(type.substr(0, prefix.size()), prefix);
  };
  if (is(u"text/html") || is(u"application/xhtml+xml")) return u"html";
  if (is(u"text/css")) return u"css";
  if (is(u"text/javascript") || is(u"application/javascript") || is(u"application/x-javascript") ||
      is(u"application/ecmascript")) {
    return u"js";
  }
  if (is(u"image/svg+xml")) return u"svg";
  return u"";
}

std::u16string_view LastExtensionOf(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  return dot == std::u16string_view::npos || dot == 0 ? std::u16string_view()
                                                      : name.substr(dot + 1);
}

std::u16string JoinUnderRoot(const std::u16string& root, const std::u16string& folderName) {
  return StringUtility::ReplaceAll(root + u"\\" + SafeFolderName(folderName), u"\\\\", u"\\");
}

bool IsSchemeCharacter(char16_t c, bool first) {
  const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
  if (first) return letter;
  return letter || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

std::u16string WithSchemeOrHttp(const std::u16string& scheme) {
  return scheme.empty() ? std::u16string(u"http") : scheme;
}

// Scripts and style sheets whose address carries a query string: a browser
// reading the copy from disk decides their type by the name's ending, so the
// query goes into the stem and the name keeps the path's own extension.
std::optional<std::u16string> ScriptOrStyleSheetName(const AddressParts& target) {
  const std::u16string file =
      target.extension.empty() ? target.baseName : target.baseName + u"." + target.extension;
  const std::size_t question = file.find(u'?');
  if (question == std::u16string::npos) return std::nullopt;
  const std::u16string path = file.substr(0, question);
  const int dot = LastIndexOf(path, u".");
  if (dot < 1) return std::nullopt;
  const std::u16string extension = StringUtility::ToLowerAscii(CharactersAfter(path, dot));
  if (extension != u"css" && extension != u"js" && extension != u"mjs") return std::nullopt;
  const std::u16string query = ReplaceEach(file.substr(question + 1), kBaseNameCharacters);
  std::u16string stem = ReplaceEach(FirstCharacters(path, dot), kBaseNameCharacters);
  if (!query.empty()) stem += u"-" + query;
  return stem + u"." + extension;
}

}  // namespace

std::size_t WebSchemeLength(std::u16string_view address) {
  if (address.size() >= 7 && StringUtility::EqualsIgnoreCaseAscii(address.substr(0, 7), u"http://"))
    return 7;
  if (address.size() >= 8 &&
      StringUtility::EqualsIgnoreCaseAscii(address.substr(0, 8), u"https://"))
    return 8;
  return 0;
}

int LastIndexOf(const std::u16string& text, const std::u16string& sub) {
  const std::size_t at = text.rfind(sub);
  return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

std::u16string WebSchemeOf(const std::u16string& address) {
  const std::size_t length = WebSchemeLength(address);
  return length == 0 ? std::u16string()
                     : StringUtility::ToLowerAscii(address.substr(0, length - 3));
}

std::u16string WithoutWebScheme(const std::u16string& address) {
  return address.substr(WebSchemeLength(address));
}

bool HasForeignScheme(std::u16string_view reference) {
  const std::size_t colon = reference.find(u':');
  if (colon == std::u16string_view::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    if (!IsSchemeCharacter(reference[i], i == 0)) return false;
  }
  const std::u16string_view scheme = reference.substr(0, colon);
  return !StringUtility::EqualsIgnoreCaseAscii(scheme, u"http") &&
         !StringUtility::EqualsIgnoreCaseAscii(scheme, u"https");
}

ReferenceAndFragment SplitFragment(const std::u16string& reference) {
  const std::size_t hash = reference.find(u'#');
  if (hash == std::u16string::npos) return {reference, {}, false};
  return {reference.substr(0, hash), reference.substr(hash + 1), true};
}

std::u16string NormalizeAddress(const std::u16string& address) {
  const std::size_t schemeLength = WebSchemeLength(address);
  if (schemeLength == 0) return address;
  std::u16string rest = address.substr(schemeLength);
  if (rest.find(u'/') == std::u16string::npos) return rest + u"/index.html";
  if (rest.back() == u'/') return rest + u"/index.html";
  return rest;
}

AddressParts SplitAddress(const std::u16string& address) {
  AddressParts parts;
  const int e = LastIndexOf(address, u"/");
  std::u16string file = address;
  if (e > 0) {
    const std::u16string s = FirstCharacters(address, e);
    file = CharactersAfter(address, e);
    const std::size_t i = s.find(u'/');
    if (i == std::u16string::npos || i < 1) {
      parts.host = s;
    } else {
      parts.host = s.substr(0, i);
      parts.directory =
          StringUtility::ReplaceAll(CharactersAfter(s, static_cast<long>(i)), u"/", u"\\");
    }
  }
  const int d = LastIndexOf(file, u".");
  if (d < 1) {
    parts.baseName = file;
  } else {
    parts.baseName = FirstCharacters(file, d);
    parts.extension = CharactersAfter(file, d);
  }
  return parts;
}

AddressParts SplitAbsolute(const std::u16string& address) {
  AddressParts parts = SplitAddress(NormalizeAddress(address));
  parts.scheme = WebSchemeOf(address);
  return parts;
}

namespace {

// ".", or ".." with either dot percent-encoded, as the address standard
// reads a path segment.
bool IsDotSegment(std::u16string_view segment) {
  return segment == u"." || StringUtility::EqualsIgnoreCaseAscii(segment, u"%2e");
}

bool IsDoubleDotSegment(std::u16string_view segment) {
  if (segment == u"..") return true;
  for (std::u16string_view form : {u".%2e", u"%2e.", u"%2e%2e"}) {
    if (StringUtility::EqualsIgnoreCaseAscii(segment, form)) return true;
  }
  return false;
}

}  // namespace

std::u16string CollapseDotSegments(std::u16string address) {
  // Most addresses have no dot segment at all.
  if (StringUtility::Find(address, u"/.") == std::u16string::npos &&
      StringUtility::Find(address, u"/%2") == std::u16string::npos) {
    return address;
  }
  const std::size_t scheme = address.find(u"://");
  const std::size_t pathStart = address.find(u'/', scheme == std::u16string::npos ? 0 : scheme + 3);
  if (pathStart == std::u16string::npos) return address;
  const std::size_t pathEnd = std::min(address.find_first_of(u"?#", pathStart), address.size());
  // The segments of the path, each "." dropped and each ".." taking the one
  // before it, never beyond the root; a path that ends in a dot segment
  // names a folder and keeps its last "/".
  std::vector<std::u16string_view> kept;
  const std::u16string_view path(address.data() + pathStart + 1, pathEnd - pathStart - 1);
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find(u'/', start);
    const bool last = slash == std::u16string_view::npos;
    const std::u16string_view segment =
        path.substr(start, last ? path.size() - start : slash - start);
    if (IsDoubleDotSegment(segment)) {
      if (!kept.empty()) kept.pop_back();
      if (last) kept.emplace_back();
    } else if (IsDotSegment(segment)) {
      if (last) kept.emplace_back();
    } else {
      kept.push_back(segment);
    }
    if (last) break;
    start = slash + 1;
  }
  std::u16string collapsed = address.substr(0, pathStart);
  for (const std::u16string_view segment : kept) collapsed.append(1, u'/').append(segment);
  if (kept.empty()) collapsed += u'/';
  collapsed.append(address, pathEnd, std::u16string::npos);
  return collapsed;
}

std::u16string ResolveReference(std::u16string reference, const AddressParts& page) {
  reference = StringUtility::ReplaceAll(std::move(reference), u"&amp;", u"&");
  // The server never sees a fragment; it names a place in the same file.
  if (const std::size_t hash = reference.find(u'#'); hash != std::u16string::npos) {
    reference.resize(hash);
  }
  const std::u16string scheme = WithSchemeOrHttp(page.scheme);
  if (const std::size_t length = WebSchemeLength(reference); length > 0) {
    return CollapseDotSegments(WebSchemeOf(reference) + u"://" + reference.substr(length));
  }
  if (StringUtility::StartsWith(reference, u"//")) {
    return CollapseDotSegments(scheme + u":" + reference);
  }
  if (StringUtility::StartsWith(reference, u"/")) {
    return CollapseDotSegments(scheme + u"://" + page.host + reference);
  }
  std::u16string t;
  t.reserve(page.host.size() + page.directory.size() + reference.size() + 2);
  t.append(page.host).append(1, u'/').append(page.directory).append(1, u'/').append(reference);
  std::replace(t.begin(), t.end(), u'\\', u'/');
  t = StringUtility::ReplaceAll(std::move(t), u"//", u"/");
  std::u16string absolute;
  absolute.reserve(scheme.size() + 3 + t.size());
  absolute.append(scheme).append(u"://").append(t);
  return CollapseDotSegments(std::move(absolute));
}

std::u16string LocalFolderFor(DownloadMode mode, const std::u16string& siteHost,
                              const AddressParts& target, const std::u16string& root) {
  if (mode != DownloadMode::DuplicateSite) return SiteFolderFor(siteHost, root);
  std::u16string name = target.host == siteHost
                            ? target.host + u"\\" + target.directory
                            : siteHost + u"\\" + target.host + u"\\" + target.directory;
  return JoinUnderRoot(root, ReplaceEach(std::move(name), kFolderCharacters));
}

std::u16string LocalFileNameFor(DownloadMode mode, const AddressParts& target, int number) {
  std::u16string name;
  if (auto special = ScriptOrStyleSheetName(target)) {
    name = *std::move(special);
  } else {
    const std::u16string b = ReplaceEach(target.baseName, kBaseNameCharacters);
    std::u16string x = StringUtility::TrimWhiteSpace(target.extension);
    if (x.size() > 4) {
      // A long ending is a query after a page's name, or a file's own
      // (".woff2", ".webmanifest"): only the first is taken for a page.
      const bool page = IsPageExtension(x.substr(0, x.find(u'?')));
      x = ReplaceEach(std::move(x), kLongExtensionCharacters);
      if (page) x += u".html";
    } else if (x.empty() || IsServerScriptExtension(x)) {
      x = u"html";
    }
    name = b + u"." + x;
  }
  if (mode == DownloadMode::BrowsableCopy) {
    name = StringUtility::FromAscii(std::to_string(number)) + u"." + name;
  } else {
    name = StringUtility::ReplaceAll(std::move(name), u"%20", u"");
    name = StringUtility::ReplaceAll(std::move(name), u"%", u"");
  }
  return SafeFileName(name);
}

std::u16string PathExtensionOf(const std::u16string& address) {
  const std::size_t end = std::min(address.find_first_of(u"?#"), address.size());
  const std::size_t slash = address.rfind(u'/', end == 0 ? 0 : end - 1);
  const std::u16string_view name =
      std::u16string_view(address).substr(slash == std::u16string::npos ? 0 : slash + 1,
                                          end - (slash == std::u16string::npos ? 0 : slash + 1));
  return StringUtility::ToLowerAscii(std::u16string(LastExtensionOf(name)));
}

bool LooksLikePage(std::u16string_view address) {
  const std::size_t end = std::min(address.find_first_of(u"?#"), address.size());
  const std::size_t scheme = address.find(u"://");
  const std::size_t path = address.find(u'/', scheme == std::u16string_view::npos ? 0 : scheme + 3);
  if (path == std::u16string_view::npos || path >= end) return true;  // the host's root
  const std::size_t start = address.rfind(u'/', end - 1) + 1;
  const std::u16string_view extension = LastExtensionOf(address.substr(start, end - start));
  return extension.empty() || IsPageExtension(extension);
}

std::optional<std::u16string> LocalFileNameForType(std::u16string_view name,
                                                   std::u16string_view pathExtension,
                                                   std::u16string_view contentType) {
  const std::u16string_view wanted = ExtensionForType(contentType);
  if (wanted == u"html") {
    if (IsHtmlLikeExtension(LastExtensionOf(name))) return std::nullopt;
    return std::u16string(name) + u".html";
  }
  // The rules named it a page; it is not one.
  std::u16string typed(name);
  if (StringUtility::EqualsIgnoreCaseAscii(LastExtensionOf(name), u"html") &&
      !IsHtmlLikeExtension(pathExtension)) {
    typed.resize(typed.size() - 5);
  }
  const std::u16string_view ending = LastExtensionOf(typed);
  const bool suits = StringUtility::EqualsIgnoreCaseAscii(ending, wanted) ||
                     (wanted == u"js" && IsOneOf(ending, {u"mjs", u"cjs"})) ||
                     (wanted == u"svg" && IsOneOf(ending, {u"svgz"}));
  if (!wanted.empty() && !suits) typed += u"." + std::u16string(wanted);
  if (typed.empty() || typed == name) return std::nullopt;
  return SafeFileName(typed);
}

std::u16string LocalFilePath(const std::u16string& folder, std::u16string_view name) {
  std::u16string path = folder + u"\\";
  path += name;
  return StringUtility::ReplaceAll(std::move(path), u"\\\\", u"\\");
}

std::u16string RelativeLocalReference(const std::u16string& from, const std::u16string& to) {
  // Walks both paths component by component in place: a reference is
  // written for every link of every page, so nothing is split into copies.
  // A trailing "\\" yields no empty last component, as the splitter has it.
  const auto next = [](const std::u16string& path, std::size_t start) {
    const std::size_t end = path.find(u'\\', start);
    return end == std::u16string::npos ? path.size() : end;
  };
  std::size_t f = 0;
  std::size_t t = 0;
  while (f < from.size() && t < to.size()) {
    const std::size_t fEnd = next(from, f);
    const std::size_t tEnd = next(to, t);
    if (from.compare(f, fEnd - f, to, t, tEnd - t) != 0) break;
    f = fEnd + 1;
    t = tEnd + 1;
  }
  std::u16string result;
  for (std::size_t i = f; i < from.size(); i = next(from, i) + 1) result += u"..\\";
  if (t < to.size()) result.append(to, t, std::u16string::npos);
  return result;
}

std::u16string SitePrefixOf(const std::u16string& startAddress) {
  const int p = LastIndexOf(startAddress, u"/");
  if (static_cast<unsigned int>(p) <= 7) return startAddress;
  return FirstCharacters(startAddress, p);
}

std::u16string SiteHostOf(const std::u16string& sitePrefix) {
  return SplitAddress(NormalizeAddress(sitePrefix)).host;
}

bool IsUnderSitePrefix(const std::u16string& address, const std::u16string& sitePrefix) {
  return StringUtility::StartsWith(WithoutWebScheme(address), WithoutWebScheme(sitePrefix));
}

bool ContainsSitePrefix(const std::u16string& address, const std::u16string& sitePrefix) {
  return WithoutWebScheme(address).find(WithoutWebScheme(sitePrefix)) != std::u16string::npos;
}

std::u16string SiteFolderName(const std::u16string& siteHost) {
  return SafeFolderName(ReplaceEach(siteHost, kFolderCharacters));
}

std::u16string SiteFolderFor(const std::u16string& siteHost, const std::u16string& root) {
  return JoinUnderRoot(root, SiteFolderName(siteHost));
}

}  // namespace kestrine
