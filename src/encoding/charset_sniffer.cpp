#include "encoding/charset_sniffer.h"

#include <cctype>
#include <optional>

#include "encoding/charset_transfer_util.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

constexpr std::size_t kMetaWindow = 8192;

bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
         c == ':';
}

// The charset name that starts at `from`, with blanks and one kind of quote
// around it skipped.
std::string NameAt(const std::string& text, std::size_t from) {
  while (from < text.size() && (text[from] == ' ' || text[from] == '"' || text[from] == '\'')) {
    ++from;
  }
  std::size_t end = from;
  while (end < text.size() && IsNameCharacter(text[end])) ++end;
  return text.substr(from, end - from);
}

std::optional<std::string> ByteOrderMark(const std::string& body) {
  if (body.rfind("\xEF\xBB\xBF", 0) == 0) return "utf-8";
  if (body.rfind("\xFF\xFE", 0) == 0) return "UTF-16";
  if (body.rfind("\xFE\xFF", 0) == 0) return "unicodeFFFE";
  return std::nullopt;
}

// The declared name when the table knows it, the platform converts it and
// the bytes are valid in it.
std::optional<DecodedBody> TryDeclared(const std::string& name, const std::string& body) {
  if (name.empty()) return std::nullopt;
  const std::u16string wide = StringUtility::FromAscii(name);
  const auto& util = CharsetTransferUtil::GetInstance();
  const int codePage = util.GetCodePage(wide);
  const bool known = codePage != CharsetTransferUtil::kUtf8 ||
                     StringUtility::EqualsIgnoreCaseAscii(wide, u"utf-8");
  // Pages that claim UTF-16 without a byte-order mark are ASCII-compatible in
  // practice; browsers ignore such a claim too.
  if (!known || CharsetTransferUtil::IsWideUnicode(codePage)) return std::nullopt;
  auto text = util.TryCharsetToWide(wide, body);
  if (!text) return std::nullopt;
  // Stateful charsets (UTF-7, the ISO 2022 family) can spell one text in many
  // ways; the copy must keep the received bytes, so such a declaration counts
  // only when the text encodes back to exactly them. Valid UTF-8 always does.
  if (codePage != CharsetTransferUtil::kUtf8 && util.WideToCharset(wide, *text) != body) {
    return std::nullopt;
  }
  return DecodedBody{name, *std::move(text)};
}

}  // namespace

std::string CharsetSniffer::CharsetParameter(const std::string& value) {
  const std::string lower = StringUtility::ToLowerAscii(value);
  const std::size_t at = lower.find("charset=");
  if (at == std::string::npos) return {};
  return NameAt(value, at + 8);
}

std::string CharsetSniffer::MetaCharset(const std::string& body) {
  const std::string head = StringUtility::ToLowerAscii(body.substr(0, kMetaWindow));
  std::size_t meta = head.find("<meta");
  while (meta != std::string::npos) {
    const std::size_t close = head.find('>', meta);
    const std::string tag = head.substr(meta, close == std::string::npos ? close : close - meta);
    const std::size_t at = tag.find("charset=");
    if (at != std::string::npos) {
      std::string name = NameAt(body.substr(meta, tag.size()), at + 8);
      if (!name.empty()) return name;
    }
    meta = head.find("<meta", meta + 5);
  }
  return {};
}

std::string CharsetSniffer::CssCharset(const std::string& body) {
  static const std::string kRule = "@charset \"";
  const std::size_t start = body.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  if (body.compare(start, kRule.size(), kRule) != 0) return {};
  const std::size_t from = start + kRule.size();
  const std::size_t end = body.find('"', from);
  if (end == std::string::npos || end - from > 64) return {};
  return body.substr(from, end - from);
}

DecodedBody CharsetSniffer::Decode(const std::string& body, const std::string& contentType,
                                   BodyKind kind) {
  const auto& util = CharsetTransferUtil::GetInstance();
  // The mark stays in the text, so the stored copy keeps it.
  if (auto mark = ByteOrderMark(body)) {
    if (*mark != "utf-8") return {*mark, util.CharsetToWide(StringUtility::FromAscii(*mark), body)};
    // A UTF-8 mark before bytes that are not UTF-8 is not believed: decoding
    // them would not give the bytes back.
    if (auto text = util.TryCharsetToWide(u"utf-8", body)) return {"utf-8", *std::move(text)};
  }
  const std::string declared[] = {
      CharsetParameter(contentType),
      kind == BodyKind::Page ? MetaCharset(body) : CssCharset(body),
  };
  for (const std::string& name : declared) {
    if (auto decoded = TryDeclared(name, body)) return *std::move(decoded);
  }
  if (auto text = util.TryCharsetToWide(u"utf-8", body)) return {"utf-8", *std::move(text)};
  return {"iso-8859-1", util.CharsetToWide(u"iso-8859-1", body)};
}

}  // namespace kestrine
