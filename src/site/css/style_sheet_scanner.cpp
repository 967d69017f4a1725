#include "site/css/style_sheet_scanner.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "runtime/string_utility.h"
#include "site/rewrite/reference_writer.h"
#include "site/rewrite/rewritten_text.h"

namespace kestrine {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool IsNameCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'-' || c == u'_' || c >= 0x80 || c == u'\\';
}

// The next "(", "/", quote or "@" from `from`: the only characters where
// something this reader looks for can begin or end. Eight places are tried
// at once; most of a style sheet is none of them.
std::size_t NextOfInterest(std::u16string_view text, std::size_t from) {
  std::size_t at = from;
#ifdef __SSE2__
  const __m128i paren = _mm_set1_epi16(u'(');
  const __m128i slash = _mm_set1_epi16(u'/');
  const __m128i quote = _mm_set1_epi16(u'"');
  const __m128i apostrophe = _mm_set1_epi16(u'\'');
  const __m128i at_sign = _mm_set1_epi16(u'@');
  for (; at + 8 <= text.size(); at += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    const __m128i found = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(block, paren), _mm_cmpeq_epi16(block, slash)),
        _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(block, quote), _mm_cmpeq_epi16(block, apostrophe)),
            _mm_cmpeq_epi16(block, at_sign)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(found));
    if (mask != 0) return at + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
  }
#endif
  for (; at < text.size(); ++at) {
    const char16_t c = text[at];
    if (c == u'(' || c == u'/' || c == u'"' || c == u'\'' || c == u'@') return at;
  }
  return text.size();
}

bool IsAt(std::u16string_view text, std::size_t at, std::u16string_view lower) {
  return at + lower.size() <= text.size() &&
         StringUtility::EqualsIgnoreCaseAscii(text.substr(at, lower.size()), lower);
}

// A written address inside url( ... ): bare when CSS reads it so, else in
// quotes.
std::u16string ForUrl(const std::u16string& address) {
  if (address.find_first_of(u" \t\n\r\f\"'()\\") == std::u16string::npos) return address;
  std::u16string quoted = u"\"";
  for (char16_t c : address) {
    if (c == u'"' || c == u'\\' || c == u'\n') quoted += u'\\';
    quoted += c;
  }
  return quoted + u"\"";
}

std::u16string ForString(const std::u16string& address, char16_t quote) {
  std::u16string escaped;
  for (char16_t c : address) {
    if (c == quote || c == u'\\' || c == u'\n') escaped += u'\\';
    escaped += c;
  }
  return escaped;
}

// One pass over a style sheet as CSS reads it: comments and strings are
// passed over, and the address of every url( ... ), in any letter case, and
// of every @import "..." goes through the rewriter.
class SheetReader {
 public:
  SheetReader(std::u16string& text, IReferenceRewriter& rewriter, std::string* utf8)
      : text_(text), rewriter_(rewriter), rewritten_(text, utf8) {}

  void Read() {
    const std::u16string_view text = text_;
    std::size_t i = 0;
    while (!stopped_ && (i = NextOfInterest(text, i)) < text.size()) {
      const char16_t c = text[i];
      if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
        const std::size_t close = text.find(u"*/", i + 2);
        i = close == std::u16string_view::npos ? text.size() : close + 2;
      } else if (c == u'"' || c == u'\'') {
        i = StringEnd(i);
      } else if (c == u'(' && i >= 3 && IsAt(text, i - 3, u"url(") &&
                 (i == 3 || !IsNameCharacter(text[i - 4]))) {
        i = Url(i + 1);
      } else if (c == u'@' && IsAt(text, i, u"@import")) {
        i = Import(i + 7);
      } else {
        ++i;
      }
    }
    rewritten_.Finish();
  }

 private:
  // Just past the string that opens at `at`, or the line it ends.
  std::size_t StringEnd(std::size_t at) const {
    const char16_t quote = text_[at];
    std::size_t i = at + 1;
    while (i < text_.size() && text_[i] != quote && text_[i] != u'\n') {
      i += text_[i] == u'\\' ? 2 : 1;
    }
    return std::min(i + 1, text_.size());
  }

  // The inside of url( ... ) from `at`: a quoted or a bare address, blanks
  // around it ignored. The whole inside is written anew.
  std::size_t Url(std::size_t at) {
    std::size_t i = at;
    while (i < text_.size() && IsBlank(text_[i])) ++i;
    std::size_t begin = i;
    std::size_t end = i;
    if (i < text_.size() && (text_[i] == u'"' || text_[i] == u'\'')) {
      const std::size_t close = StringEnd(i);
      begin = i + 1;
      end = close - (close <= text_.size() && text_[close - 1] == text_[i] ? 1 : 0);
      i = close;
    } else {
      while (i < text_.size() && text_[i] != u')') ++i;
      end = i;
    }
    const std::size_t paren = text_.find(u')', i);
    if (paren == std::u16string::npos) return text_.size();
    const std::u16string address = StringUtility::TrimWhiteSpace(text_.substr(begin, end - begin));
    if (auto written = Rewritten(address)) Replace(at, paren, ForUrl(*written));
    return paren + 1;
  }

  // @import "sheet.css" (an @import url( ... ) is read as any url( ... ).
  std::size_t Import(std::size_t at) {
    std::size_t i = at;
    while (i < text_.size() && IsBlank(text_[i])) ++i;
    if (i >= text_.size() || (text_[i] != u'"' && text_[i] != u'\'')) return i;
    const std::size_t close = StringEnd(i);
    const std::size_t end = close - (text_[close - 1] == text_[i] ? 1 : 0);
    const std::u16string address = text_.substr(i + 1, end - i - 1);
    if (auto written = Rewritten(address)) Replace(i + 1, end, ForString(*written, text_[i]));
    return close;
  }

  std::optional<std::u16string> Rewritten(const std::u16string& address) {
    if (address.empty()) return std::nullopt;
    if (rewriter_.IsStopRequested()) {
      stopped_ = true;
      return std::nullopt;
    }
    return rewriter_.Rewrite(address);
  }

  void Replace(std::size_t begin, std::size_t end, const std::u16string& written) {
    rewritten_.Replace(begin, end, written);
  }

  std::u16string& text_;
  IReferenceRewriter& rewriter_;
  RewrittenText rewritten_;
  bool stopped_ = false;
};

}  // namespace

void RunStyleSheetPasses(std::u16string& text, IReferenceRewriter& rewriter, std::string* utf8) {
  if (rewriter.IsStopRequested()) return;
  SheetReader(text, rewriter, utf8).Read();
}

void ScanStyleSheetReferences(IScanProject& project, std::u16string& text,
                              const std::u16string& sheetAddress,
                              const std::u16string& downloadFolder,
                              const std::u16string& sheetFolder, WrittenReferences* written,
                              std::string* utf8) {
  ReferenceWriter writer(project, sheetAddress, downloadFolder, sheetFolder);
  RunStyleSheetPasses(text, writer, utf8);
  if (written != nullptr) *written = writer.TakeWritten();
}

}  // namespace kestrine
