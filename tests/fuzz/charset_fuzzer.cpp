// Text conversion over every code page of the table: no crash, and bytes that
// decode strictly in a charset that round-trips encode back to themselves.
#include <cstdint>
#include <string>

#include "encoding/charset_transfer_util.h"
#include "encoding/code_page_table.h"
#include "fuzz_input.h"

using namespace kestrine;

namespace {

bool RoundTrips(int codePage) {
  // UTF-8 and the single-byte code pages map bytes to characters one to one.
  return codePage == 65001 || codePage == 28591 || codePage == 28592 || codePage == 28595 ||
         codePage == 28597 || codePage == 28605 || codePage == 1250 || codePage == 1251 ||
         codePage == 1252 || codePage == 20866 || codePage == 21866 || codePage == 437 ||
         codePage == 850;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto rows = CodePageRows();
  const CodePageRow& row = rows[data[0] % rows.size()];
  const std::u16string charset(row.name);
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const CharsetTransferUtil& util = CharsetTransferUtil::GetInstance();
  const std::u16string lenient = util.CharsetToWide(charset, bytes);
  (void)util.WideToCharset(charset, lenient);
  (void)util.WideToCharset(charset, fuzz::Text(bytes));
  if (const auto strict = util.TryCharsetToWide(charset, bytes)) {
    if (RoundTrips(util.GetCodePage(charset))) {
      KESTRINE_FUZZ_CHECK(util.WideToCharset(charset, *strict) == bytes || strict->empty());
    }
  }
  return 0;
}
