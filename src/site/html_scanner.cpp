#include "site/html_scanner.h"

#include "site/pattern_pass.h"

namespace kestrine {

namespace {

std::u16string WithoutBlanks(const std::u16string& text) {
  std::u16string r;
  r.reserve(text.size());
  for (char16_t c : text) {
    if (c != u' ') r += c;
  }
  return r;
}

bool ContainsJavascriptScheme(const std::u16string& r) {
  static constexpr std::u16string_view kScheme = u"javascript:";
  if (r.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i + kScheme.size() <= r.size(); ++i) {
    std::size_t k = 0;
    while (k < kScheme.size()) {
      char16_t c = r[i + k];
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
      if (c != kScheme[k]) break;
      ++k;
    }
    if (k == kScheme.size()) return true;
  }
  return false;
}

std::optional<std::u16string> FinishHtmlReference(std::u16string r) {
  r = WithoutBlanks(r);
  if (!r.empty() && r.front() == u'#') return std::nullopt;
  if (ContainsJavascriptScheme(r)) return std::nullopt;
  return r;
}

std::optional<std::u16string> HtmlFilter(std::u16string_view raw) {
  return FinishHtmlReference(WithoutQuotes(raw));
}

// Background values without a "/" are too often colours or names to follow.
std::optional<std::u16string> BackgroundFilter(std::u16string_view raw) {
  std::u16string r = WithoutQuotes(raw);
  if (r.find(u'/') == std::u16string::npos) return std::nullopt;
  return FinishHtmlReference(std::move(r));
}

struct Pass {
  std::u16string_view start;
  std::u16string_view end;
  ReferenceFilter filter;
};

constexpr Pass kPasses[] = {
    {u" href=\"", u"\"", &HtmlFilter},
    {u" src=\"", u"\"", &HtmlFilter},
    {u" href='", u"'", &HtmlFilter},
    {u" src='", u"'", &HtmlFilter},
    {u"url(", u")", &HtmlFilter},
    {u"content=\"0; url=", u"\"", &HtmlFilter},
    {u"background=\"", u"\"", &BackgroundFilter},
};

}  // namespace

void ScanHtmlReferences(IScanProject& project, std::u16string& text, const std::u16string&,
                        const std::u16string& pageAddress, const std::u16string& downloadFolder,
                        const std::u16string& pageFolder) {
  ReferenceWriter writer(project, pageAddress, downloadFolder, pageFolder);
  for (const Pass& pass : kPasses) {
    if (project.IsStopRequested()) return;
    RunPatternPass(text, pass.start, pass.end, pass.filter, writer, project);
  }
}

}  // namespace kestrine
