#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kestrine {

// A span of the page text: [begin, end).
struct TextRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool empty() const { return begin == end; }
};

// One attribute of a tag, as the page spells it.
struct HtmlAttribute {
  TextRange name;
  // The value as written, without its quotes; empty when the attribute has
  // none. `quote` is '"' or '\'' for a quoted value, 0 otherwise.
  TextRange value;
  char16_t quote = 0;
  bool hasValue = false;
};

// A start or end tag: where it lies, its name, and its attributes (the
// first of two with equal names only, as browsers keep them).
struct HtmlTag {
  std::size_t begin = 0;  // the "<"
  std::size_t end = 0;    // just past the ">"
  TextRange name;
  bool endTag = false;
  bool selfClosing = false;
  std::vector<HtmlAttribute> attributes;
};

// Reads the tags of an HTML page the way the HTML standard's tokenizer
// does: tag open, tag name, attribute name, before and after attribute
// value, double-quoted, single-quoted and unquoted values, self-closing
// tags, comments, DOCTYPEs, CDATA sections in foreign content and bogus
// comments. Text, comments and the like are passed over; only tags are
// handed out, with the ranges of their names and values, so a caller can
// replace exactly those bytes and leave every other byte as it was.
//
// Which elements hold raw text is the tree's business, not the
// tokenizer's: a caller that meets <script> or <style> asks for its text
// with SkipRawText, and says when it enters or leaves SVG or MathML, where
// CDATA sections are text.
//
// Linear in the text; nothing is copied. The text must outlive the reader.
class HtmlTokenizer {
 public:
  explicit HtmlTokenizer(std::u16string_view text) : text_(text) {}

  // The next tag; false at the end of the text. A tag cut off by the end of
  // the text is no tag.
  bool Next(HtmlTag& tag);

  // How an element's text is read up to its end tag.
  enum class RawText {
    Text,       // <style>, <textarea>, <title>, <xmp>, <iframe>, <noembed>, <noframes>
    Script,     // <script>: "<!--" and "<script" inside change where it ends
    Plaintext,  // <plaintext>: to the end of the page
  };
  // Reads the text of the element just started (named `name`, lower case)
  // up to its end tag, which Next hands out next. Returns where the text
  // lies.
  TextRange SkipRawText(RawText kind, std::u16string_view name);

  // Inside <svg> or <math>, "<![CDATA[" starts text, not a comment.
  void SetForeignContent(bool foreign) { foreign_ = foreign; }

  std::u16string_view text() const { return text_; }
  // The lower-cased name of a tag or attribute, with U+FFFD for NUL.
  std::u16string Name(TextRange range) const;
  // The same into a string the caller keeps, so a page's thousands of
  // names cost no allocation each.
  void NameInto(TextRange range, std::u16string& name) const;
  // Whether a name equals `lower` (ASCII, lower case) in any letter case.
  bool NameIs(TextRange range, std::u16string_view lower) const;
  // The first attribute of that name, or nullptr.
  const HtmlAttribute* Find(const HtmlTag& tag, std::u16string_view lower) const;

 private:
  std::size_t SkipComment(std::size_t at) const;
  std::size_t SkipMarkupDeclaration(std::size_t at) const;
  // Reads a tag whose name starts at `at`; false when the text ends first.
  bool ReadTag(std::size_t at, HtmlTag& tag);
  std::size_t ReadAttributes(std::size_t at, HtmlTag& tag);
  std::size_t ReadValue(std::size_t at, HtmlAttribute& attribute);
  void Keep(HtmlTag& tag, const HtmlAttribute& attribute);
  bool SameName(TextRange a, TextRange b) const;
  bool IsAppropriateEndTag(std::size_t at, std::u16string_view name) const;
  std::size_t SkipScript(std::size_t at, std::u16string_view name) const;

  // Names compared in any letter case, as attribute names are.
  struct FoldedHash {
    std::size_t operator()(std::u16string_view name) const;
  };
  struct FoldedEqual {
    bool operator()(std::u16string_view a, std::u16string_view b) const;
  };

  std::u16string_view text_;
  std::size_t position_ = 0;
  bool foreign_ = false;
  // The names of the tag being read once it has many attributes.
  std::unordered_set<std::u16string_view, FoldedHash, FoldedEqual> manyNames_;
};

}  // namespace kestrine
