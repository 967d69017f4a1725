#include "site/html/html_vocabulary.h"

#include <utility>

namespace kestrine {

namespace {

// Whether a name as the page spells it is `lower`, in any letter case.
bool Is(std::u16string_view name, std::u16string_view lower) {
  if (name.size() != lower.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    char16_t c = name[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (c != lower[i]) return false;
  }
  return true;
}

template <typename Kind, std::size_t N>
Kind Classify(std::u16string_view name, const std::pair<std::u16string_view, Kind> (&table)[N]) {
  for (const auto& [known, kind] : table) {
    if (Is(name, known)) return kind;
  }
  return Kind::Other;
}

}  // namespace

HtmlVocabulary::Element HtmlVocabulary::ElementOf(std::u16string_view name) {
  using E = Element;
  using Entry = std::pair<std::u16string_view, E>;
  switch (name.size()) {
    case 1: {
      static constexpr Entry kOne[] = {{u"a", E::A}};
      return Classify(name, kOne);
    }
    case 2: {
      static constexpr Entry kTwo[] = {{u"td", E::Td}, {u"th", E::Th}};
      return Classify(name, kTwo);
    }
    case 3: {
      static constexpr Entry kThree[] = {{u"img", E::Img}, {u"svg", E::Svg}, {u"xmp", E::Xmp}};
      return Classify(name, kThree);
    }
    case 4: {
      static constexpr Entry kFour[] = {{u"link", E::Link}, {u"area", E::Area}, {u"base", E::Base},
                                        {u"meta", E::Meta}, {u"body", E::Body}, {u"math", E::Math}};
      return Classify(name, kFour);
    }
    case 5: {
      static constexpr Entry kFive[] = {
          {u"style", E::Style}, {u"title", E::Title}, {u"table", E::Table},
          {u"embed", E::Embed}, {u"input", E::Input}, {u"track", E::Track},
          {u"audio", E::Audio}, {u"video", E::Video}, {u"frame", E::Frame}};
      return Classify(name, kFive);
    }
    case 6: {
      static constexpr Entry kSix[] = {{u"script", E::Script},
                                       {u"source", E::Source},
                                       {u"iframe", E::Iframe},
                                       {u"object", E::Object}};
      return Classify(name, kSix);
    }
    case 7: {
      static constexpr Entry kSeven[] = {{u"noembed", E::Noembed}};
      return Classify(name, kSeven);
    }
    case 8: {
      static constexpr Entry kEight[] = {{u"textarea", E::Textarea}, {u"noframes", E::Noframes}};
      return Classify(name, kEight);
    }
    case 9: {
      static constexpr Entry kNine[] = {{u"plaintext", E::Plaintext}};
      return Classify(name, kNine);
    }
    default:
      return E::Other;
  }
}

HtmlVocabulary::Attribute HtmlVocabulary::AttributeOf(std::u16string_view name) {
  using A = Attribute;
  static constexpr std::pair<std::u16string_view, A> kAttributes[] = {
      {u"href", A::Href},
      {u"src", A::Src},
      {u"style", A::Style},
      {u"srcset", A::Srcset},
      {u"content", A::Content},
      {u"xlink:href", A::XlinkHref},
      {u"poster", A::Poster},
      {u"data", A::Data},
      {u"background", A::Background},
      {u"imagesrcset", A::ImageSrcset},
  };
  // "class", "id", "alt", "title", "type" and "rel" are most of them.
  if (name.size() < 3 || name.size() > 11) return A::Other;
  return Classify(name, kAttributes);
}

std::u16string_view HtmlVocabulary::CanonicalName(Element element) {
  switch (element) {
    case Element::Script:
      return u"script";
    case Element::Style:
      return u"style";
    case Element::Textarea:
      return u"textarea";
    case Element::Title:
      return u"title";
    case Element::Xmp:
      return u"xmp";
    case Element::Iframe:
      return u"iframe";
    case Element::Noembed:
      return u"noembed";
    case Element::Noframes:
      return u"noframes";
    case Element::Plaintext:
      return u"plaintext";
    default:
      return u"";
  }
}

std::optional<HtmlTokenizer::RawText> HtmlVocabulary::RawTextOf(Element element) {
  switch (element) {
    case Element::Script:
      return HtmlTokenizer::RawText::Script;
    case Element::Plaintext:
      return HtmlTokenizer::RawText::Plaintext;
    case Element::Style:
    case Element::Textarea:
    case Element::Title:
    case Element::Xmp:
    case Element::Iframe:
    case Element::Noembed:
    case Element::Noframes:
      return HtmlTokenizer::RawText::Text;
    default:
      return std::nullopt;
  }
}

bool HtmlVocabulary::TakesSource(Element element) {
  switch (element) {
    case Element::Img:
    case Element::Script:
    case Element::Iframe:
    case Element::Frame:
    case Element::Embed:
    case Element::Input:
    case Element::Source:
    case Element::Track:
    case Element::Audio:
    case Element::Video:
      return true;
    default:
      return false;
  }
}

}  // namespace kestrine
