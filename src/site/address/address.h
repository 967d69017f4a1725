#pragma once

#include <optional>
#include <string>
#include <string_view>

// The address and local-path rules: how a reference becomes an absolute
// address, how an address is cut into the parts that name its local copy,
// where that copy lies in each download mode and which relative reference
// leads to it. Pure functions over UTF-16 text. "http://" and "https://"
// addresses (in any letter case) are absolute; a reference with any other
// scheme is not an address of the copy and is left as written.
//
// Whatever an address holds, every folder and file these rules produce stays
// inside the download folder: "." and ".." components are dropped from folder
// names, and file names never hold a separator or control character, are
// never "." or "..", and are shortened to fit the file system.

namespace kestrine {

enum class DownloadMode { BrowsableCopy = 0, DuplicateSite = 1, RetrieveFiles = 2 };

struct AddressParts {
  std::u16string host;       // port included
  std::u16string directory;  // "\" separators; may end in "\"
  std::u16string baseName;
  std::u16string extension;  // without the dot
  // "http" or "https"; empty when the split address carried none. Never part
  // of host, so both schemes of one host share their local files.
  std::u16string scheme;
};

int LastIndexOf(const std::u16string& text, const std::u16string& sub);

// Strips "http://" or "https://" and supplies "/index.html" where the
// address names a folder. Other addresses pass unchanged.
std::u16string NormalizeAddress(const std::u16string& address);
AddressParts SplitAddress(const std::u16string& address);
// SplitAddress of NormalizeAddress, with the scheme kept beside the parts.
AddressParts SplitAbsolute(const std::u16string& address);

// "http" or "https" for an absolute web address (lower case), else empty.
std::u16string WebSchemeOf(const std::u16string& address);
// The length of a leading "http://" or "https://" (any letter case), else 0.
std::size_t WebSchemeLength(std::u16string_view address);
// The address without its scheme and "://"; unchanged when it has none.
std::u16string WithoutWebScheme(const std::u16string& address);
// True when the reference starts with a URI scheme other than http and
// https ("mailto:", "data:", "c:\" ...): such references are no address of
// the copy.
bool HasForeignScheme(std::u16string_view reference);
// Splits "page.html#part" into the part before the first "#" and the
// fragment after it (without the "#"); no "#" gives an empty fragment.
struct ReferenceAndFragment {
  std::u16string reference;
  std::u16string fragment;
  bool hasFragment = false;
};
ReferenceAndFragment SplitFragment(const std::u16string& reference);
std::u16string CollapseDotSegments(std::u16string address);
std::u16string ResolveReference(std::u16string reference, const AddressParts& page);

std::u16string LocalFolderFor(DownloadMode mode, const std::u16string& siteHost,
                              const AddressParts& target, const std::u16string& root);
std::u16string LocalFileNameFor(DownloadMode mode, const AddressParts& target, int number);
// The name a stored file takes once its type is known, when the name the
// address gave it does not suit a browser reading the copy from disk: a
// page gets ".html" when its name has no HTML-like ending, a style sheet
// ".css", a script ".js", an SVG image ".svg"; and anything that is no page
// loses a ".html" the naming rules put there (an image from "x.php"). Nothing
// when the name suits the type. `pathExtension` is the address's own
// extension, before any query.
std::optional<std::u16string> LocalFileNameForType(std::u16string_view name,
                                                   std::u16string_view pathExtension,
                                                   std::u16string_view contentType);
// The extension of an address's path (lower case, without the dot), before
// any query or fragment; empty when its last segment has none.
std::u16string PathExtensionOf(const std::u16string& address);
// Whether an address names a page by its path: no extension, or one that
// pages have (html, php, asp...). What it really is shows only in its answer.
bool LooksLikePage(std::u16string_view address);
std::u16string LocalFilePath(const std::u16string& folder, std::u16string_view name);
std::u16string RelativeLocalReference(const std::u16string& from, const std::u16string& to);

// The start address cut at its last "/" (kept whole when that "/" belongs to
// the scheme), and the host of that prefix.
std::u16string SitePrefixOf(const std::u16string& startAddress);
std::u16string SiteHostOf(const std::u16string& sitePrefix);
// Whether an address begins with the site prefix, http and https of one
// host counting as the same site.
bool IsUnderSitePrefix(const std::u16string& address, const std::u16string& sitePrefix);
// Whether the site prefix occurs anywhere in the address, by the same rule.
bool ContainsSitePrefix(const std::u16string& address, const std::u16string& sitePrefix);

// The folder name of the site host under the download folder, with the same
// character replacement and dot-component rule as every other folder.
std::u16string SiteFolderName(const std::u16string& siteHost);
// The site's own folder below the download folder: where every file of the
// browsable and retrieve modes lies, the top of a mirrored site, and the
// home of the download log.
std::u16string SiteFolderFor(const std::u16string& siteHost, const std::u16string& root);

}  // namespace kestrine
