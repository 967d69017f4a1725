#include "site/html/html_vocabulary.h"

#include <algorithm>
#include <array>
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
  // Most tags of a page are short and none of these: the length is compared
  // first.
  static constexpr std::pair<std::u16string_view, E> kElements[] = {{u"a", E::A},
                                                                    {u"td", E::Td},
                                                                    {u"th", E::Th},
                                                                    {u"img", E::Img},
                                                                    {u"svg", E::Svg},
                                                                    {u"xmp", E::Xmp},
                                                                    {u"link", E::Link},
                                                                    {u"area", E::Area},
                                                                    {u"base", E::Base},
                                                                    {u"meta", E::Meta},
                                                                    {u"body", E::Body},
                                                                    {u"math", E::Math},
                                                                    {u"style", E::Style},
                                                                    {u"title", E::Title},
                                                                    {u"table", E::Table},
                                                                    {u"embed", E::Embed},
                                                                    {u"input", E::Input},
                                                                    {u"track", E::Track},
                                                                    {u"audio", E::Audio},
                                                                    {u"video", E::Video},
                                                                    {u"frame", E::Frame},
                                                                    {u"script", E::Script},
                                                                    {u"source", E::Source},
                                                                    {u"iframe", E::Iframe},
                                                                    {u"object", E::Object},
                                                                    {u"noembed", E::Noembed},
                                                                    {u"textarea", E::Textarea},
                                                                    {u"noframes", E::Noframes},
                                                                    {u"plaintext", E::Plaintext}};
  if (name.empty() || name.size() > 9) return E::Other;
  // The table is in order of length: only names of the tag's length are
  // compared, and only when their first letter matches.
  static constexpr auto kFirstOfLength = [] {
    std::array<std::size_t, 11> first{};
    std::size_t at = 0;
    for (std::size_t length = 0; length <= 10; ++length) {
      while (at < std::size(kElements) && kElements[at].first.size() < length) ++at;
      first[length] = at;
    }
    return first;
  }();
  char16_t lead = name[0];
  if (lead >= u'A' && lead <= u'Z') lead = static_cast<char16_t>(lead + 32);
  for (std::size_t i = kFirstOfLength[name.size()]; i < kFirstOfLength[name.size() + 1]; ++i) {
    if (kElements[i].first[0] == lead && Is(name, kElements[i].first)) return kElements[i].second;
  }
  return E::Other;
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

namespace {

// The elements whose text is no markup, with where it ends.
struct RawTextElement {
  HtmlVocabulary::Element element;
  std::u16string_view name;
  HtmlTokenizer::RawText ending;
};
using E = HtmlVocabulary::Element;
using R = HtmlTokenizer::RawText;
constexpr RawTextElement kRawTextElements[] = {
    {E::Script, u"script", R::Script},  {E::Plaintext, u"plaintext", R::Plaintext},
    {E::Style, u"style", R::Text},      {E::Textarea, u"textarea", R::Text},
    {E::Title, u"title", R::Text},      {E::Xmp, u"xmp", R::Text},
    {E::Iframe, u"iframe", R::Text},    {E::Noembed, u"noembed", R::Text},
    {E::Noframes, u"noframes", R::Text}};

const RawTextElement* RawTextElementOf(E element) {
  for (const RawTextElement& raw : kRawTextElements) {
    if (raw.element == element) return &raw;
  }
  return nullptr;
}

}  // namespace

std::u16string_view HtmlVocabulary::CanonicalName(Element element) {
  const RawTextElement* raw = RawTextElementOf(element);
  return raw ? raw->name : u"";
}

std::optional<HtmlTokenizer::RawText> HtmlVocabulary::RawTextOf(Element element) {
  const RawTextElement* raw = RawTextElementOf(element);
  if (!raw) return std::nullopt;
  return raw->ending;
}

bool HtmlVocabulary::TakesSource(Element element) {
  static constexpr Element kTakers[] = {E::Img,   E::Script, E::Iframe, E::Frame, E::Embed,
                                        E::Input, E::Source, E::Track,  E::Audio, E::Video};
  return std::find(std::begin(kTakers), std::end(kTakers), element) != std::end(kTakers);
}

}  // namespace kestrine
