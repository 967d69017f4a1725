#include "site/html/html_tokenizer.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "runtime/fnv_hash.h"

namespace kestrine {

namespace {

constexpr std::size_t kNone = std::u16string_view::npos;

bool IsAlpha(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Tab, line feed, form feed, space, and a carriage return, which the input
// stream turns into a line feed.
bool IsWhite(char16_t c) {
  return c == u' ' || c == u'\n' || c == u'\t' || c == u'\f' || c == u'\r';
}

char16_t Lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  return c == 0 ? char16_t{0xFFFD} : c;
}

// text.find(u'<', from), eight characters at a time: most of a page is
// text between tags.
std::size_t FindLess(std::u16string_view text, std::size_t from) {
  std::size_t at = from;
#ifdef __SSE2__
  const __m128i less = _mm_set1_epi16(static_cast<short>(u'<'));
  const char16_t* data = text.data();
  for (; at + 8 <= text.size(); at += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, less)));
    if (mask != 0) return at + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
  }
#endif
  for (; at < text.size(); ++at) {
    if (text[at] == u'<') return at;
  }
  return kNone;
}

// The end of a construct that ends with `marker`, or of the text.
std::size_t PastMarker(std::u16string_view text, std::size_t from, std::u16string_view marker) {
  const std::size_t found = text.find(marker, from);
  return found == kNone ? text.size() : found + marker.size();
}

bool StartsWithIgnoringCase(std::u16string_view text, std::size_t at, std::u16string_view lower) {
  if (at + lower.size() > text.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    if (Lower(text[at + i]) != lower[i]) return false;
  }
  return true;
}

}  // namespace

std::u16string HtmlTokenizer::Name(TextRange range) const {
  std::u16string name;
  NameInto(range, name);
  return name;
}

void HtmlTokenizer::NameInto(TextRange range, std::u16string& name) const {
  name.resize(range.end - range.begin);
  for (std::size_t i = range.begin; i < range.end; ++i) name[i - range.begin] = Lower(text_[i]);
}

bool HtmlTokenizer::NameIs(TextRange range, std::u16string_view lower) const {
  return range.end - range.begin == lower.size() &&
         StartsWithIgnoringCase(text_, range.begin, lower);
}

const HtmlAttribute* HtmlTokenizer::Find(const HtmlTag& tag, std::u16string_view lower) const {
  for (const HtmlAttribute& attribute : tag.attributes) {
    if (NameIs(attribute.name, lower)) return &attribute;
  }
  return nullptr;
}

bool HtmlTokenizer::Next(HtmlTag& tag) {
  const std::size_t size = text_.size();
  while (position_ < size) {
    const std::size_t less = FindLess(text_, position_);
    if (less == kNone || less + 1 >= size) break;
    const char16_t c = text_[less + 1];
    if (c == u'!') {
      position_ = SkipMarkupDeclaration(less);
    } else if (c == u'/') {
      // 1. "</" and a letter opens an end tag; "</>" is nothing at all;
      //    anything else is a bogus comment.
      if (less + 2 >= size) break;
      const char16_t d = text_[less + 2];
      if (IsAlpha(d)) {
        tag.begin = less;
        tag.endTag = true;
        return ReadTag(less + 2, tag);
      }
      position_ = d == u'>' ? less + 3 : PastMarker(text_, less + 2, u">");
    } else if (IsAlpha(c)) {
      tag.begin = less;
      tag.endTag = false;
      return ReadTag(less + 1, tag);
    } else if (c == u'?') {
      position_ = PastMarker(text_, less + 1, u">");
    } else {
      // A "<" that opens nothing is text.
      position_ = less + 1;
    }
  }
  position_ = size;
  return false;
}

std::size_t HtmlTokenizer::SkipComment(std::size_t at) const {
  // "<!-->" and "<!--->" are whole comments; otherwise the first "-->" or
  // "--!>" ends one. One pass over the dashes: searching for each ending
  // to the end of the page made comments cost time quadratic in its length
  // (Node.js's manual on one 5.8 MB page, with 351 comments, took 0.8 s).
  for (std::size_t dashes = text_.find(u"--", at + 2); dashes != kNone;
       dashes = text_.find(u"--", dashes + 1)) {
    if (text_.compare(dashes + 2, 1, u">") == 0) return dashes + 3;
    if (dashes >= at + 4 && text_.compare(dashes + 2, 2, u"!>") == 0) return dashes + 4;
  }
  return text_.size();
}

std::size_t HtmlTokenizer::SkipMarkupDeclaration(std::size_t at) const {
  const std::size_t after = at + 2;
  if (text_.compare(after, 2, u"--") == 0) return SkipComment(at);
  if (StartsWithIgnoringCase(text_, after, u"doctype")) return PastMarker(text_, after + 7, u">");
  if (foreign_ && text_.compare(after, 7, u"[CDATA[") == 0) {
    return PastMarker(text_, after + 7, u"]]>");
  }
  return PastMarker(text_, after, u">");
}

bool HtmlTokenizer::ReadTag(std::size_t at, HtmlTag& tag) {
  tag.attributes.clear();
  tag.selfClosing = false;
  const std::size_t size = text_.size();
  std::size_t i = at;
  while (i < size && !IsWhite(text_[i]) && text_[i] != u'/' && text_[i] != u'>') ++i;
  tag.name = {at, i};
  i = ReadAttributes(i, tag);
  if (i == kNone) {
    position_ = size;
    return false;
  }
  tag.end = i;
  position_ = i;
  return true;
}

// From the before-attribute-name state to the end of the tag: the position
// just past its ">", or kNone when the text ends first.
std::size_t HtmlTokenizer::ReadAttributes(std::size_t i, HtmlTag& tag) {
  const std::size_t size = text_.size();
  while (i < size) {
    const char16_t c = text_[i];
    if (IsWhite(c)) {
      ++i;
    } else if (c == u'>') {
      return i + 1;
    } else if (c == u'/') {
      // Self-closing only right before ">"; otherwise the "/" is dropped.
      if (i + 1 < size && text_[i + 1] == u'>') {
        tag.selfClosing = true;
        return i + 2;
      }
      ++i;
    } else {
      // An attribute name; a "=" may begin it, not end it.
      HtmlAttribute attribute;
      const std::size_t start = i;
      if (text_[i] == u'=') ++i;
      while (i < size && !IsWhite(text_[i]) && text_[i] != u'/' && text_[i] != u'>' &&
             text_[i] != u'=') {
        ++i;
      }
      attribute.name = {start, i};
      // After the name: blanks, then "=" and a value, or another attribute.
      std::size_t next = i;
      while (next < size && IsWhite(text_[next])) ++next;
      if (next < size && text_[next] == u'=') {
        i = ReadValue(next + 1, attribute);
        if (i == kNone) return kNone;
      }
      Keep(tag, attribute);
    }
  }
  return kNone;
}

// From the before-attribute-value state to just past the value (and its
// closing quote); kNone when the text ends first.
std::size_t HtmlTokenizer::ReadValue(std::size_t i, HtmlAttribute& attribute) {
  const std::size_t size = text_.size();
  while (i < size && IsWhite(text_[i])) ++i;
  if (i >= size) return kNone;
  attribute.hasValue = true;
  const char16_t c = text_[i];
  if (c == u'"' || c == u'\'') {
    const std::size_t close = text_.find(c, i + 1);
    if (close == kNone) return kNone;
    attribute.quote = c;
    attribute.value = {i + 1, close};
    return close + 1;
  }
  // A ">" here means a missing value: the attribute is empty.
  std::size_t end = i;
  while (end < size && !IsWhite(text_[end]) && text_[end] != u'>') ++end;
  if (end >= size) return kNone;
  attribute.value = {i, end};
  return end;
}

// A tag keeps the first of two attributes with one name. Its few
// attributes are compared in place; a tag of many (a hostile page's
// million) looks each name up in a set, which keeps reading it linear.
void HtmlTokenizer::Keep(HtmlTag& tag, const HtmlAttribute& attribute) {
  constexpr std::size_t kFew = 16;
  const auto view = [this](TextRange range) {
    return text_.substr(range.begin, range.end - range.begin);
  };
  if (tag.attributes.size() < kFew) {
    for (const HtmlAttribute& kept : tag.attributes) {
      if (SameName(kept.name, attribute.name)) return;
    }
  } else {
    if (tag.attributes.size() == kFew) {
      manyNames_.clear();
      for (const HtmlAttribute& kept : tag.attributes) manyNames_.insert(view(kept.name));
    }
    if (!manyNames_.insert(view(attribute.name)).second) return;
  }
  tag.attributes.push_back(attribute);
}

bool HtmlTokenizer::SameName(TextRange a, TextRange b) const {
  return FoldedEqual()(text_.substr(a.begin, a.end - a.begin),
                       text_.substr(b.begin, b.end - b.begin));
}

std::size_t HtmlTokenizer::FoldedHash::operator()(std::u16string_view name) const {
  FnvHash hash;
  for (char16_t c : name) hash.Add(Lower(c));
  return hash.value();
}

bool HtmlTokenizer::FoldedEqual::operator()(std::u16string_view a, std::u16string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (Lower(a[k]) != Lower(b[k])) return false;
  }
  return true;
}

bool HtmlTokenizer::IsAppropriateEndTag(std::size_t at, std::u16string_view name) const {
  if (!StartsWithIgnoringCase(text_, at, name) || at + name.size() >= text_.size()) return false;
  const char16_t after = text_[at + name.size()];
  return IsWhite(after) || after == u'/' || after == u'>';
}

TextRange HtmlTokenizer::SkipRawText(RawText kind, std::u16string_view name) {
  const std::size_t start = position_;
  const std::size_t size = text_.size();
  std::size_t end = size;
  if (kind == RawText::Script) {
    end = SkipScript(start, name);
  } else if (kind == RawText::Text) {
    for (std::size_t less = FindLess(text_, start); less != kNone;
         less = FindLess(text_, less + 1)) {
      if (less + 1 < size && text_[less + 1] == u'/' && IsAppropriateEndTag(less + 2, name)) {
        end = less;
        break;
      }
    }
  }
  position_ = end;
  return {start, end};
}

// The script data states: "<!--" escapes the text, "<script" inside an
// escape escapes it twice, and only an end tag outside a double escape
// ends the script. The "<" of that end tag, or the end of the text.
std::size_t HtmlTokenizer::SkipScript(std::size_t at, std::u16string_view name) const {
  enum class State {
    Data,
    Escaped,
    EscapedDash,
    EscapedDashDash,
    Double,
    DoubleDash,
    DoubleDashDash
  };
  const std::size_t size = text_.size();
  State state = State::Data;
  // The letters after "<" or "</" inside an escape, and what follows them.
  const auto word = [&](std::size_t from, std::size_t* next) {
    std::size_t end = from;
    while (end < size && IsAlpha(text_[end])) ++end;
    *next = end;
    return end < size && (IsWhite(text_[end]) || text_[end] == u'/' || text_[end] == u'>') &&
           StartsWithIgnoringCase(text_, from, u"script") && end - from == 6;
  };
  std::size_t i = at;
  while (i < size) {
    const char16_t c = text_[i];
    const bool escaped =
        state == State::Escaped || state == State::EscapedDash || state == State::EscapedDashDash;
    if (c == u'<') {
      const char16_t next = i + 1 < size ? text_[i + 1] : char16_t{0};
      if (state == State::Data) {
        if (next == u'/' && IsAppropriateEndTag(i + 2, name)) return i;
        if (next == u'!' && text_.compare(i + 2, 2, u"--") == 0) {
          state = State::EscapedDashDash;
          i += 4;
          continue;
        }
      } else if (escaped) {
        if (next == u'/' && IsAppropriateEndTag(i + 2, name)) return i;
        if (IsAlpha(next)) {
          std::size_t after = 0;
          const bool script = word(i + 1, &after);
          state = script ? State::Double : State::Escaped;
          i = script ? after + 1 : after;
          continue;
        }
        state = State::Escaped;
      } else {
        if (next == u'/') {
          std::size_t after = 0;
          if (word(i + 2, &after)) {
            state = State::Escaped;
            i = after + 1;
            continue;
          }
          i = after;
          state = State::Double;
          continue;
        }
        state = State::Double;
      }
      ++i;
      continue;
    }
    switch (state) {
      case State::Data:
        break;
      case State::Escaped:
      case State::EscapedDash:
        state = c == u'-' ? (state == State::Escaped ? State::EscapedDash : State::EscapedDashDash)
                          : State::Escaped;
        break;
      case State::EscapedDashDash:
        state = c == u'-' ? State::EscapedDashDash : c == u'>' ? State::Data : State::Escaped;
        break;
      case State::Double:
      case State::DoubleDash:
        state = c == u'-' ? (state == State::Double ? State::DoubleDash : State::DoubleDashDash)
                          : State::Double;
        break;
      case State::DoubleDashDash:
        state = c == u'-' ? State::DoubleDashDash : c == u'>' ? State::Data : State::Double;
        break;
    }
    ++i;
  }
  return size;
}

}  // namespace kestrine
