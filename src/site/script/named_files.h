#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "site/script/found_names.h"

namespace kestrine {

// Every file a script, a JSON document or a search index names: the general
// reader (ScriptScanner) and each generator's own rule (site/generators), in
// one place that says what is read in which file. Names are as written,
// relative to the file's address or to the base each rule gives.
class NamedFiles {
 public:
  enum class Kind { Script, Json, PagefindMeta };
  // What kind of named-file source a response is, by its type and address.
  static std::optional<Kind> KindOf(std::string_view contentType, const std::u16string& address);

  // Names a script's general reader only guesses at go to `guesses`, when
  // given: at most kMaxGuesses of them a script.
  static void InScript(std::u16string_view script, const std::u16string& address, FoundNames& names,
                       FoundNames* guesses = nullptr);
  static void InJson(std::u16string_view json, const std::u16string& address, FoundNames& names);
  static void InPagefindMeta(std::string_view bytes, FoundNames& names);
  // A <script> block of a page, and a JSON block (an import map, a
  // generator's config).
  static void InInlineScript(std::u16string_view script, FoundNames& names,
                             FoundNames* guesses = nullptr);
  static void InInlineJson(std::u16string_view json, FoundNames& names);

  // A JSON file larger than this is data (a search index, a page's
  // content) whose words may look like paths; only its generator's rule
  // reads it.
  static constexpr std::size_t kMaxConfigJson = 64 * 1024;
  // Each guess may cost a request the site answers 404: a script's worth
  // is bounded well below what it may name for sure.
  static constexpr std::size_t kMaxGuesses = 200;
};

}  // namespace kestrine
