#include "site/rules/sitemap.h"

#include <cstdlib>

#include "runtime/string_utility.h"

namespace kestrine {

namespace {

// The five entities of XML and numeric references; anything else stays.
std::string DecodedXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    // A reference is short: its ";" is looked for only nearby, so a text
    // of many "&" costs time linear in its length.
    const std::size_t semicolon = text.substr(0, i + 11).find(';', i);
    if (semicolon == std::string_view::npos) {
      out += '&';
      continue;
    }
    const std::string_view name = text.substr(i + 1, semicolon - i - 1);
    std::u16string decoded;
    if (name == "amp")
      decoded = u"&";
    else if (name == "lt")
      decoded = u"<";
    else if (name == "gt")
      decoded = u">";
    else if (name == "quot")
      decoded = u"\"";
    else if (name == "apos")
      decoded = u"'";
    else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::string digits(name.substr(hex ? 2 : 1));
      char* end = nullptr;
      const unsigned long code = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
      if (!digits.empty() && *end == '\0' && code > 0 && code < 0x110000) {
        if (code >= 0x10000) {
          decoded += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
          decoded += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
          decoded += static_cast<char16_t>(code);
        }
      }
    }
    if (decoded.empty()) {
      out += '&';
      continue;
    }
    out += StringUtility::ToUtf8(decoded);
    i = semicolon;
  }
  return out;
}

// The text of an element, a CDATA section in it taken as it is.
std::string TextOf(std::string_view inner) {
  std::string text;
  while (!inner.empty()) {
    const std::size_t cdata = inner.find("<![CDATA[");
    text += DecodedXmlText(inner.substr(0, cdata));
    if (cdata == std::string_view::npos) break;
    const std::size_t close = inner.find("]]>", cdata + 9);
    text.append(
        inner.substr(cdata + 9, close == std::string_view::npos ? close : close - cdata - 9));
    if (close == std::string_view::npos) break;
    inner.remove_prefix(close + 3);
  }
  return StringUtility::TrimAscii(text);
}

}  // namespace

Sitemap Sitemap::Read(std::string_view xml, std::size_t maxLocations) {
  Sitemap sitemap;
  sitemap.isIndex = xml.find("<sitemapindex") != std::string_view::npos;
  std::size_t at = 0;
  while (true) {
    const std::size_t open = xml.find("<loc>", at);
    if (open == std::string_view::npos) break;
    const std::size_t close = xml.find("</loc>", open + 5);
    if (close == std::string_view::npos) break;
    at = close + 6;
    if (sitemap.locations.size() >= maxLocations) {
      ++sitemap.beyondLimit;
      continue;
    }
    std::string location = TextOf(xml.substr(open + 5, close - open - 5));
    if (!location.empty()) sitemap.locations.push_back(std::move(location));
  }
  return sitemap;
}

}  // namespace kestrine
