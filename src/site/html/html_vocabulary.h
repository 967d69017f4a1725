#pragma once

#include <optional>
#include <string_view>

#include "site/html/html_tokenizer.h"

namespace kestrine {

// The names of HTML a page reader tells apart, found once per tag and
// attribute in any letter case: a page has thousands of them.
class HtmlVocabulary {
 public:
  // Everything the reading need not tell apart is Other.
  enum class Element {
    Other,
    A,
    Area,
    Link,
    Base,
    Meta,
    Img,
    Source,
    Script,
    Iframe,
    Frame,
    Embed,
    Input,
    Track,
    Audio,
    Video,
    Object,
    Body,
    Table,
    Td,
    Th,
    Style,
    Textarea,
    Title,
    Xmp,
    Noembed,
    Noframes,
    Plaintext,
    Svg,
    Math,
  };
  enum class Attribute {
    Other,
    Href,
    XlinkHref,
    Src,
    Srcset,
    ImageSrcset,
    Poster,
    Data,
    Background,
    Content,
    Style,
  };

  // By length first: most tags of a page are short and none of these.
  static Element ElementOf(std::u16string_view name);
  static Attribute AttributeOf(std::u16string_view name);
  // The name of an element as the tokenizer wants it for its end tag.
  static std::u16string_view CanonicalName(Element element);
  // Where an element's text ends, for the elements whose text is no markup.
  static std::optional<HtmlTokenizer::RawText> RawTextOf(Element element);
  // The elements whose `src` names what they show or run.
  static bool TakesSource(Element element);
};

}  // namespace kestrine
