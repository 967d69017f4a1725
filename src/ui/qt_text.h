#pragma once

#include <QString>
#include <string>

#include "presentation/string_table.h"

namespace kestrine {

// The engine speaks UTF-16 in std::u16string, Qt in QString; both hold the
// same code units.
inline QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// A text of the string table (or of a translation dropped in).
inline QString Text(int id) { return ToQString(StringTable::Load(id)); }

inline std::u16string FromQString(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<std::size_t>(text.size()));
}

}  // namespace kestrine
