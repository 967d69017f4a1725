#include "encoding/ansi_code_page.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <string_view>

#include "encoding/iconv_converter.h"

namespace kestrine {

namespace {

std::string DetectCharset() {
  const std::string name = AnsiCodePage::LocaleName();
  const std::string_view view(name);
  if (view == "C" || view == "POSIX" || view.substr(0, 2) == "C.") return "UTF-8";
  locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), nullptr);
  if (locale == nullptr) return "UTF-8";
  std::string codeset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  if (codeset.empty() || codeset == "ANSI_X3.4-1968") return "UTF-8";
  return codeset;
}

}  // namespace

std::string AnsiCodePage::LocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

std::string AnsiCodePage::CharsetName() {
  static const std::string charset = DetectCharset();
  return charset;
}

std::string AnsiCodePage::FromWide(const std::u16string& text) {
  if (auto bytes = IconvConverter::FromUtf16(CharsetName(), text)) return *std::move(bytes);
  return IconvConverter::FromUtf16("UTF-8", text).value_or(std::string());
}

std::u16string AnsiCodePage::ToWide(const std::string& text) {
  if (auto wide = IconvConverter::ToUtf16(CharsetName(), text)) return *std::move(wide);
  return IconvConverter::ToUtf16("UTF-8", text).value_or(std::u16string());
}

}  // namespace kestrine
