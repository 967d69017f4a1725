#include "encoding/charset_transfer_util.h"

#include <atomic>
#include <string_view>

#include "encoding/ansi_code_page.h"
#include "encoding/code_page_table.h"
#include "encoding/iconv_converter.h"

namespace kestrine {

namespace {

constexpr std::uint16_t kChinesePrc = 0x0804;
constexpr std::uint16_t kEnglishUs = 0x0409;

// -1 means "read the locale".
std::atomic<int> languageOverride{-1};

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Language identifiers of the Chinese locales; the rest of the world only
// needs to be told apart from Chinese (PRC).
std::uint16_t LanguageOfLocale(std::string_view locale) {
  struct Entry {
    std::string_view prefix;
    std::uint16_t language;
  };
  static constexpr Entry kEntries[] = {
      {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04},
      {"zh_SG", 0x1004}, {"zh_MO", 0x1404}, {"zh", 0x0804},
  };
  for (const Entry& entry : kEntries) {
    if (locale.substr(0, entry.prefix.size()) == entry.prefix) return entry.language;
  }
  return kEnglishUs;
}

}  // namespace

bool CharsetTransferUtil::IsWideUnicode(int codePage) {
  return codePage == 1200 || codePage == 1201 || codePage == 12000 || codePage == 12001;
}

CharsetTransferUtil& CharsetTransferUtil::GetInstance() {
  // Function-local statics are initialised once, safely across threads.
  static CharsetTransferUtil* instance = new CharsetTransferUtil();
  return *instance;
}

std::uint16_t CharsetTransferUtil::SystemDefaultLanguage() {
  const int forced = languageOverride.load();
  if (forced >= 0) return static_cast<std::uint16_t>(forced);
  return LanguageOfLocale(AnsiCodePage::LocaleName());
}

void CharsetTransferUtil::OverrideSystemDefaultLanguage(std::optional<std::uint16_t> language) {
  languageOverride.store(language ? *language : -1);
}

int CharsetTransferUtil::GetCodePage(const std::u16string& charset) const {
  if (charset.empty()) {
    return SystemDefaultLanguage() == kChinesePrc ? kSimplifiedChinese : kUtf8;
  }
  if (EqualsIgnoreCase(charset, u"GBK")) return kSimplifiedChinese;
  for (const CodePageRow& row : CodePageRows()) {
    if (!row.name.empty() && EqualsIgnoreCase(row.name, charset)) return row.codePage;
  }
  return kUtf8;
}

std::string CharsetTransferUtil::WideToCharset(const std::u16string& charset,
                                               const std::u16string& text) const {
  const int codePage = GetCodePage(charset);
  if (IsWideUnicode(codePage)) return {};
  const std::string_view iconvName = IconvNameForCodePage(codePage);
  if (iconvName.empty()) return {};
  return IconvConverter::FromUtf16(iconvName, text).value_or(std::string());
}

std::u16string CharsetTransferUtil::CharsetToWide(const std::u16string& charset,
                                                  const std::string& bytes) const {
  const std::string_view iconvName = IconvNameForCodePage(GetCodePage(charset));
  if (!iconvName.empty()) {
    if (auto text = IconvConverter::ToUtf16(iconvName, bytes)) return *std::move(text);
  }
  return IconvConverter::ToUtf16("UTF-8", bytes).value_or(std::u16string());
}

std::optional<std::u16string> CharsetTransferUtil::TryCharsetToWide(
    const std::u16string& charset, const std::string& bytes) const {
  const std::string_view iconvName = IconvNameForCodePage(GetCodePage(charset));
  if (iconvName.empty()) return std::nullopt;
  return IconvConverter::ToUtf16Strict(iconvName, bytes);
}

}  // namespace kestrine
