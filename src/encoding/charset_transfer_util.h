#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrine {

// Maps charset names to code pages and converts text between UTF-16 and the
// bytes of a code page. One process-wide instance.
class CharsetTransferUtil {
 public:
  static constexpr int kUtf8 = 65001;
  static constexpr int kSimplifiedChinese = 936;

  static CharsetTransferUtil& GetInstance();
  // UTF-16 and UTF-32 in either byte order: a text is never written back in
  // them, and a declaration naming them inside the bytes is not believed.
  static bool IsWideUnicode(int codePage);
  virtual ~CharsetTransferUtil() = default;

  // An empty name picks by the system default language: 936 for Chinese
  // (PRC), 65001 otherwise. "GBK" in any case is 936. Otherwise the first
  // table row whose name equals charset ignoring case; 65001 when none does.
  int GetCodePage(const std::u16string& charset) const;

  // The text in the charset's code page, every character kept (an unmappable
  // one becomes "?"). Empty for the UTF-16 and UTF-32 code pages and for a
  // code page the platform cannot convert into.
  std::string WideToCharset(const std::u16string& charset, const std::u16string& text) const;

  // The bytes of a charset as UTF-16; invalid sequences become U+FFFD. Text
  // decoded here and encoded again with the same name keeps its bytes.
  std::u16string CharsetToWide(const std::u16string& charset, const std::string& bytes) const;
  // As CharsetToWide, but no result when the bytes are not valid in the
  // charset or the platform has no converter for it.
  std::optional<std::u16string> TryCharsetToWide(const std::u16string& charset,
                                                 const std::string& bytes) const;

  // The system default language identifier (0x0804 for Chinese, PRC), from
  // the locale unless a test has set one.
  static std::uint16_t SystemDefaultLanguage();
  static void OverrideSystemDefaultLanguage(std::optional<std::uint16_t> language);

 protected:
  CharsetTransferUtil() = default;
};

}  // namespace kestrine
