#include "site/html_scanner.h"

#include "site/pattern_pass.h"
#include "site/reference_writer.h"
#include "site/srcset.h"

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

std::optional<std::u16string> TakeHtmlReference(std::u16string r, IReferenceRewriter& rewriter) {
  r = WithoutBlanks(r);
  if (!r.empty() && r.front() == u'#') return std::nullopt;
  if (ContainsJavascriptScheme(r)) return std::nullopt;
  return rewriter.Rewrite(r);
}

std::optional<std::u16string> HtmlReference(std::u16string_view raw, IReferenceRewriter& rewriter) {
  return TakeHtmlReference(WithoutQuotes(raw), rewriter);
}

// Background values without a "/" are too often colours or names to follow.
std::optional<std::u16string> BackgroundReference(std::u16string_view raw,
                                                  IReferenceRewriter& rewriter) {
  std::u16string r = WithoutQuotes(raw);
  if (r.find(u'/') == std::u16string::npos) return std::nullopt;
  return TakeHtmlReference(std::move(r), rewriter);
}

std::optional<std::u16string> SrcsetReference(std::u16string_view raw,
                                              IReferenceRewriter& rewriter) {
  return RewriteSrcset(raw, rewriter);
}

struct Pass {
  std::u16string_view start;
  std::u16string_view end;
  ValueHandler handler;
  AtTextStart atStart;
};

constexpr Pass kPasses[] = {
    {u" href=\"", u"\"", &HtmlReference, AtTextStart::EndsThePass},
    {u" src=\"", u"\"", &HtmlReference, AtTextStart::EndsThePass},
    {u" href='", u"'", &HtmlReference, AtTextStart::EndsThePass},
    {u" src='", u"'", &HtmlReference, AtTextStart::EndsThePass},
    {u"url(", u")", &HtmlReference, AtTextStart::EndsThePass},
    {u"content=\"0; url=", u"\"", &HtmlReference, AtTextStart::EndsThePass},
    {u"background=\"", u"\"", &BackgroundReference, AtTextStart::EndsThePass},
    // Today's forms: responsive images, video posters, preloads and imports
    // in style blocks.
    {u" srcset=\"", u"\"", &SrcsetReference, AtTextStart::IsTaken},
    {u" srcset='", u"'", &SrcsetReference, AtTextStart::IsTaken},
    {u" imagesrcset=\"", u"\"", &SrcsetReference, AtTextStart::IsTaken},
    {u" imagesrcset='", u"'", &SrcsetReference, AtTextStart::IsTaken},
    {u" poster=\"", u"\"", &HtmlReference, AtTextStart::IsTaken},
    {u" poster='", u"'", &HtmlReference, AtTextStart::IsTaken},
    {u"@import \"", u"\"", &HtmlReference, AtTextStart::IsTaken},
    {u"@import '", u"'", &HtmlReference, AtTextStart::IsTaken},
};

}  // namespace

void RunHtmlPasses(std::u16string& text, IReferenceRewriter& rewriter) {
  std::u16string scratch;
  for (const Pass& pass : kPasses) {
    if (rewriter.IsStopRequested()) return;
    RunPatternPass(text, pass.start, pass.end, pass.handler, rewriter, pass.atStart, &scratch);
  }
}

void ScanHtmlReferences(IScanProject& project, std::u16string& text, const std::u16string&,
                        const std::u16string& pageAddress, const std::u16string& downloadFolder,
                        const std::u16string& pageFolder, std::vector<std::int32_t>* referenced) {
  ReferenceWriter writer(project, pageAddress, downloadFolder, pageFolder);
  RunHtmlPasses(text, writer);
  if (referenced != nullptr) *referenced = writer.ReferencedNumbers();
}

}  // namespace kestrine
