#include "site/html/html_scanner.h"

#include <algorithm>
#include <vector>

#include "runtime/string_utility.h"
#include "site/address/address.h"
#include "site/css/style_sheet_scanner.h"
#include "site/generators/route_data_files.h"
#include "site/generators/rustdoc_files.h"
#include "site/generators/vite_files.h"
#include "site/html/html_character_references.h"
#include "site/html/html_tokenizer.h"
#include "site/html/html_vocabulary.h"
#include "site/html/srcset.h"
#include "site/rewrite/reference_writer.h"
#include "site/rewrite/rewritten_text.h"
#include "site/script/named_files.h"

namespace kestrine {

namespace {

bool ContainsJavascriptScheme(std::u16string_view r) {
  static constexpr std::u16string_view kScheme = u"javascript:";
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

// An attribute's value as an address parser reads it: blanks and control
// characters around it dropped, tabs and line breaks inside it too, and
// the characters an address cannot hold percent-encoded as a browser sends
// them ("my file.html" asks for "my%20file.html").
// A rendered page's scripts, kept from running on disk: still the page's
// scripts, whose names count.
constexpr std::u16string_view kInertScript = u"text/kestrine-inert";

std::u16string AsAddress(std::u16string_view value) {
  std::size_t begin = 0;
  std::size_t end = value.size();
  while (begin < end && value[begin] <= u' ') ++begin;
  while (end > begin && value[end - 1] <= u' ') --end;
  // Characters a browser escapes in a URL's path and query.
  static constexpr std::u16string_view kEscaped = u" \"<>`";
  const auto plain = [](char16_t c) {
    return c > u' ' && c != u'"' && c != u'<' && c != u'>' && c != u'`' && c != 0x7F;
  };
  // Most values need nothing done: they are taken as they stand.
  std::size_t first = begin;
  while (first < end && plain(value[first])) ++first;
  std::u16string address(value.substr(begin, first - begin));
  if (first == end) return address;
  address.reserve(end - begin);
  for (std::size_t i = first; i < end; ++i) {
    const char16_t c = value[i];
    if (c == u'\t' || c == u'\n' || c == u'\r') continue;
    if (c < u' ' || c == 0x7F || kEscaped.find(c) != std::u16string_view::npos) {
      StringUtility::AppendPercentEncoded(address, c);
    } else {
      address += c;
    }
  }
  return address;
}

using Element = HtmlVocabulary::Element;
using Attribute = HtmlVocabulary::Attribute;

// One pass over a page: every tag read once, each value that is a
// reference replaced through the rewriter.
class PageReader {
 public:
  PageReader(std::u16string& text, IReferenceRewriter& rewriter, MarkupKind kind, std::string* utf8)
      : text_(text),
        rewriter_(rewriter),
        tokenizer_(text),
        foreignDepth_(kind == MarkupKind::Svg),
        rewritten_(text, utf8) {
    tokenizer_.SetForeignContent(foreignDepth_ > 0);
  }

  void Read() {
    if (rewriter_.IsStopRequested()) return;
    HtmlTag tag;
    while (!stopped_ && tokenizer_.Next(tag)) {
      const Element element = HtmlVocabulary::ElementOf(View(tag.name));
      if (tag.endTag) {
        Leave(element);
        continue;
      }
      TakeAttributes(element, tag);
      Enter(element, tag);
    }
    rewritten_.Finish();
  }

 private:
  // SVG and MathML change how CDATA is read, and inside SVG any element
  // may refer to another by href.
  std::u16string_view View(TextRange range) const {
    return std::u16string_view(text_).substr(range.begin, range.end - range.begin);
  }

  void Enter(Element element, const HtmlTag& tag) {
    if ((element == Element::Svg || element == Element::Math) && !tag.selfClosing) {
      tokenizer_.SetForeignContent(++foreignDepth_ > 0);
    }
    if (tag.selfClosing) return;
    // Inside SVG only style and script hold text that is no markup.
    if (foreignDepth_ > 0 && element != Element::Style && element != Element::Script) return;
    if (const auto raw = HtmlVocabulary::RawTextOf(element)) {
      const TextRange range = tokenizer_.SkipRawText(*raw, HtmlVocabulary::CanonicalName(element));
      if (element == Element::Style) RewriteStyleSheet(range);
      if (element == Element::Script) TakeNamedInScript(tag, range);
    }
  }

  void Leave(Element element) {
    if ((element == Element::Svg || element == Element::Math) && foreignDepth_ > 0) {
      tokenizer_.SetForeignContent(--foreignDepth_ > 0);
    }
  }

  // A tag's edits are gathered, then made in the order of the text: a
  // check that depends on the tag's reference may stand before it.
  void TakeAttributes(Element element, const HtmlTag& tag) {
    inTag_ = true;
    localTarget_ = false;
    for (const HtmlAttribute& attribute : tag.attributes) {
      if (stopped_) break;
      if (!attribute.hasValue) continue;
      TakeAttribute(element, tag, HtmlVocabulary::AttributeOf(View(attribute.name)), attribute);
    }
    if (localTarget_) SetChecksAside(tag);
    // rustdoc's variables stand in a <div> or a <meta> of many attributes.
    if ((element == Element::Other || element == Element::Meta) && tag.attributes.size() >= 4) {
      TakeRustdocVariables(tag);
    }
    inTag_ = false;
    std::sort(tagEdits_.begin(), tagEdits_.end(),
              [](const TagEdit& a, const TagEdit& b) { return a.begin < b.begin; });
    for (const TagEdit& edit : tagEdits_) rewritten_.Replace(edit.begin, edit.end, edit.written);
    tagEdits_.clear();
  }

  // A file of the copy is not what the site's digest was taken of once its
  // references are rewritten, and file:// refuses any load asked for with
  // CORS: an element whose file is kept locally loses both checks. Their
  // values stay beside, renamed, for whoever wants them.
  void SetChecksAside(const HtmlTag& tag) {
    for (const HtmlAttribute& attribute : tag.attributes) {
      const std::u16string name = StringUtility::ToLowerAscii(std::u16string(View(attribute.name)));
      if (name == u"integrity" || name == u"crossorigin") {
        tagEdits_.push_back({attribute.name.begin, attribute.name.end, u"data-kestrine-" + name});
      }
    }
  }

  // Which attributes of which elements are references, as browsers read
  // them; forms are left alone.
  void TakeAttribute(Element element, const HtmlTag& tag, Attribute attribute,
                     const HtmlAttribute& value) {
    if (attribute == Attribute::Other) return;
    if (attribute == Attribute::Style) return RewriteStyle(value);
    if (foreignDepth_ > 0) {
      if (attribute == Attribute::Href || attribute == Attribute::XlinkHref) {
        RewriteReference(value);
      }
      return;
    }
    switch (attribute) {
      case Attribute::Href:
        if (element == Element::Base) return SetBase(value);
        if (element == Element::A || element == Element::Area ||
            (element == Element::Link && !NamesNoFile(tag))) {
          RewriteReference(value);
        }
        break;
      case Attribute::Src:
        if (HtmlVocabulary::TakesSource(element)) RewriteReference(value);
        break;
      case Attribute::Srcset:
        if (element == Element::Img || element == Element::Source) RewriteSrcsetValue(value);
        break;
      case Attribute::ImageSrcset:
        if (element == Element::Link) RewriteSrcsetValue(value);
        break;
      case Attribute::Poster:
        if (element == Element::Video) RewriteReference(value);
        break;
      case Attribute::Data:
        if (element == Element::Object) RewriteReference(value);
        break;
      case Attribute::Background:
        if (element == Element::Body || element == Element::Table || element == Element::Td ||
            element == Element::Th) {
          RewriteReference(value);
        }
        break;
      case Attribute::Content:
        if (element == Element::Meta && IsRefresh(tag)) RewriteRefresh(value);
        break;
      default:
        break;
    }
  }

  // A <link> names a file only through its relation: without one (an old
  // rev="made" mail address, a microdata itemprop) browsers make no link
  // of it, and links that only hint at a host to connect to early name no
  // file either.
  bool NamesNoFile(const HtmlTag& tag) const {
    const HtmlAttribute* rel = tokenizer_.Find(tag, u"rel");
    if (rel == nullptr) return true;
    const std::u16string value = StringUtility::ToLowerAscii(Decoded(*rel));
    if (StringUtility::TrimWhiteSpace(value).empty()) return true;
    return value.find(u"preconnect") != std::u16string::npos ||
           value.find(u"dns-prefetch") != std::u16string::npos;
  }

  bool IsRefresh(const HtmlTag& tag) const {
    const HtmlAttribute* equiv = tokenizer_.Find(tag, u"http-equiv");
    return equiv != nullptr && StringUtility::EqualsIgnoreCaseAscii(
                                   StringUtility::TrimWhiteSpace(Decoded(*equiv)), u"refresh");
  }

  std::u16string Decoded(const HtmlAttribute& attribute) const {
    return HtmlCharacterReferences::DecodeAttribute(std::u16string_view(text_).substr(
        attribute.value.begin, attribute.value.end - attribute.value.begin));
  }

  // The rewritten address of a reference, or nothing to leave it as it is.
  std::optional<std::u16string> Rewritten(const std::u16string& value) {
    const std::u16string reference = AsAddress(value);
    if (reference.empty() || reference.front() == u'#') return std::nullopt;
    if (ContainsJavascriptScheme(reference)) return std::nullopt;
    if (rewriter_.IsStopRequested()) {
      stopped_ = true;
      return std::nullopt;
    }
    return rewriter_.Rewrite(reference);
  }

  void RewriteReference(const HtmlAttribute& attribute) {
    const std::u16string value = Decoded(attribute);
    if (auto written = Rewritten(value)) {
      localTarget_ = localTarget_ || IsLocal(*written);
      Replace(attribute, *written);
      // A page that preloads its lean chunk loads the whole one later.
      if (auto whole = ViteFiles::VitePressFullChunk(AsAddress(value))) {
        rewriter_.TakeNamed(*whole);
      }
    }
  }

  // What an inline script or JSON block names is fetched, resolved against
  // the page; the block stays as it is.
  void TakeNamedInScript(const HtmlTag& tag, const TextRange& range) {
    const std::u16string_view script = View(range);
    const HtmlAttribute* type = tokenizer_.Find(tag, u"type");
    const std::u16string kind =
        type == nullptr ? std::u16string() : StringUtility::ToLowerAscii(Decoded(*type));
    FoundNames named(FoundNames::kMaxNames, [this] { return rewriter_.IsStopRequested(); });
    FoundNames guessed(NamedFiles::kMaxGuesses);
    if (kind.find(u"json") != std::u16string::npos || kind == u"importmap") {
      NamedFiles::InInlineJson(script, named);
    } else if (kind.empty() || kind == u"module" ||
               kind.find(u"javascript") != std::u16string::npos || kind == kInertScript) {
      NamedFiles::InInlineScript(script, named, &guessed);
      // A page of such an app carries its router's script in many blocks:
      // its route data is taken once.
      if (!routeDataTaken_) {
        routeDataTaken_ = RouteDataFiles::Guesses(script, rewriter_.DocumentPath(), guessed);
      }
    }
    Take(named, &IReferenceRewriter::TakeNamed);
    Take(guessed, &IReferenceRewriter::TakeGuessed);
  }

  void TakeRustdocVariables(const HtmlTag& tag) {
    const HtmlAttribute* id = tokenizer_.Find(tag, u"id");
    if (id == nullptr) id = tokenizer_.Find(tag, u"name");
    if (id == nullptr || !RustdocFiles::IsVariables(Decoded(*id))) return;
    RustdocFiles::Attributes variables;
    for (const HtmlAttribute& attribute : tag.attributes) {
      variables.emplace_back(tokenizer_.Name(attribute.name), Decoded(attribute));
    }
    FoundNames named;
    RustdocFiles::Names(variables, named);
    Take(named, &IReferenceRewriter::TakeNamed);
  }

  void Take(const FoundNames& found, void (IReferenceRewriter::*take)(const std::u16string&)) {
    for (const std::u16string& reference : found.names()) {
      if (stopped_ || rewriter_.IsStopRequested()) {
        stopped_ = true;
        return;
      }
      (rewriter_.*take)(reference);
    }
  }

  void RewriteSrcsetValue(const HtmlAttribute& attribute) {
    if (rewriter_.IsStopRequested()) {
      stopped_ = true;
      return;
    }
    if (auto written = RewriteSrcset(Decoded(attribute), rewriter_)) Replace(attribute, *written);
  }

  void RewriteStyle(const HtmlAttribute& attribute) {
    const std::u16string before = Decoded(attribute);
    std::u16string style = before;
    RunStyleSheetPasses(style, rewriter_);
    if (style != before) Replace(attribute, style);
  }

  void RewriteStyleSheet(const TextRange& range) {
    const std::u16string before = text_.substr(range.begin, range.end - range.begin);
    std::u16string sheet = before;
    RunStyleSheetPasses(sheet, rewriter_);
    if (sheet != before) Replace(range, sheet);
  }

  // "5; URL=next.html": the address after the delay, as browsers find it;
  // the delay and the rest stay as they are.
  void RewriteRefresh(const HtmlAttribute& attribute) {
    const std::u16string content = Decoded(attribute);
    std::size_t i = 0;
    const auto skip = [&](auto taken) {
      while (i < content.size() && taken(content[i])) ++i;
    };
    skip([](char16_t c) { return c <= u' '; });
    skip([](char16_t c) { return (c >= u'0' && c <= u'9') || c == u'.'; });
    skip([](char16_t c) { return c <= u' '; });
    if (i < content.size() && (content[i] == u';' || content[i] == u',')) ++i;
    skip([](char16_t c) { return c <= u' '; });
    if (i + 3 <= content.size() &&
        StringUtility::EqualsIgnoreCaseAscii(std::u16string_view(content).substr(i, 3), u"url")) {
      std::size_t j = i + 3;
      while (j < content.size() && content[j] <= u' ') ++j;
      if (j < content.size() && content[j] == u'=') {
        i = j + 1;
        skip([](char16_t c) { return c <= u' '; });
      }
    }
    std::size_t end = content.size();
    if (i < content.size() && (content[i] == u'\'' || content[i] == u'"')) {
      const std::size_t close = content.find(content[i], i + 1);
      ++i;
      end = close == std::u16string::npos ? content.size() : close;
    }
    if (i >= end) return;
    if (auto written = Rewritten(content.substr(i, end - i))) {
      Replace(attribute, content.substr(0, i) + *written + content.substr(end));
    }
  }

  // A <base href> moves every later relative reference of the page; the
  // copy resolves from its own file, so the base is written empty. Only a
  // page's first one counts, as browsers read it: later ones are left as
  // they are, and a run of them cannot grow the base without end.
  void SetBase(const HtmlAttribute& attribute) {
    if (baseSeen_) return;
    baseSeen_ = true;
    const std::u16string href = AsAddress(Decoded(attribute));
    if (href.empty()) return;
    rewriter_.SetBase(href);
    Replace(attribute, u"");
  }

  void Replace(const HtmlAttribute& attribute, const std::u16string& value) {
    Replace(attribute.value, HtmlCharacterReferences::EncodeAttribute(value, attribute.quote));
  }

  void Replace(const TextRange& range, const std::u16string& written) {
    if (inTag_) {
      tagEdits_.push_back({range.begin, range.end, written});
    } else {
      rewritten_.Replace(range.begin, range.end, written);
    }
  }

  // A reference written to a file of the copy, not left to the web.
  static bool IsLocal(std::u16string_view written) {
    return !written.starts_with(u"//") && WebSchemeLength(written) == 0;
  }

  struct TagEdit {
    std::size_t begin;
    std::size_t end;
    std::u16string written;
  };

  std::u16string& text_;
  IReferenceRewriter& rewriter_;
  HtmlTokenizer tokenizer_;
  int foreignDepth_;
  RewrittenText rewritten_;
  bool stopped_ = false;
  bool routeDataTaken_ = false;
  bool baseSeen_ = false;
  bool inTag_ = false;
  bool localTarget_ = false;
  std::vector<TagEdit> tagEdits_;
};

}  // namespace

void RunHtmlPasses(std::u16string& text, IReferenceRewriter& rewriter, MarkupKind kind,
                   std::string* utf8) {
  PageReader(text, rewriter, kind, utf8).Read();
}

void ScanHtmlReferences(IScanProject& project, std::u16string& text,
                        const std::u16string& pageAddress, const std::u16string& downloadFolder,
                        const std::u16string& pageFolder, WrittenReferences* written,
                        MarkupKind kind, std::string* utf8) {
  ReferenceWriter writer(project, pageAddress, downloadFolder, pageFolder);
  RunHtmlPasses(text, writer, kind, utf8);
  if (written != nullptr) *written = writer.TakeWritten();
}

}  // namespace kestrine
