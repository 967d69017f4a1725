#include "site/html/page_text.h"

#include "site/html/html_character_references.h"
#include "site/html/html_tokenizer.h"
#include "site/html/html_vocabulary.h"

namespace kestrine {

namespace {

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r' || c == 0xA0;
}

// Adds text with runs of white space made one space.
void AddFolded(std::u16string& out, std::u16string_view text, std::size_t max) {
  for (char16_t c : text) {
    if (out.size() >= max) return;
    if (IsSpace(c)) {
      if (!out.empty() && out.back() != u' ') out += u' ';
    } else {
      out += c;
    }
  }
}

// The text between two tags, less its comments.
void AddGap(std::u16string& out, std::u16string_view gap, std::size_t max) {
  while (!gap.empty() && out.size() < max) {
    const std::size_t comment = gap.find(u"<!--");
    const std::u16string_view text = gap.substr(0, comment);
    AddFolded(out, HtmlCharacterReferences::DecodeAttribute(text), max);
    if (comment == std::u16string_view::npos) return;
    const std::size_t close = gap.find(u"-->", comment + 4);
    if (close == std::u16string_view::npos) return;
    gap.remove_prefix(close + 3);
    AddFolded(out, u" ", max);
  }
}

std::u16string Trimmed(std::u16string text) {
  while (!text.empty() && text.back() == u' ') text.pop_back();
  const std::size_t first = text.find_first_not_of(u' ');
  return first == std::u16string::npos ? std::u16string() : text.substr(first);
}

}  // namespace

PageText PageText::Of(std::u16string_view html, std::size_t maxText) {
  using Element = HtmlVocabulary::Element;
  PageText page;
  HtmlTokenizer tokenizer(html);
  HtmlTag tag;
  std::size_t textFrom = 0;
  while (tokenizer.Next(tag) && page.text.size() < maxText) {
    AddGap(page.text, html.substr(textFrom, tag.begin - textFrom), maxText);
    textFrom = tag.end;
    const Element element =
        HtmlVocabulary::ElementOf(html.substr(tag.name.begin, tag.name.end - tag.name.begin));
    // A tag breaks words as a block would.
    AddFolded(page.text, u" ", maxText);
    if (tag.endTag) continue;
    const auto raw = HtmlVocabulary::RawTextOf(element);
    if (!raw) continue;
    const TextRange range = tokenizer.SkipRawText(*raw, HtmlVocabulary::CanonicalName(element));
    textFrom = range.end;
    if (element == Element::Title && page.title.empty()) {
      AddFolded(page.title,
                HtmlCharacterReferences::DecodeAttribute(
                    html.substr(range.begin, range.end - range.begin)),
                1024);
    } else if (element == Element::Textarea || element == Element::Xmp ||
               element == Element::Plaintext) {
      AddFolded(page.text, html.substr(range.begin, range.end - range.begin), maxText);
    }
  }
  if (page.text.size() < maxText && textFrom < html.size()) {
    AddGap(page.text, html.substr(textFrom), maxText);
  }
  page.title = Trimmed(std::move(page.title));
  page.text = Trimmed(std::move(page.text));
  return page;
}

}  // namespace kestrine
