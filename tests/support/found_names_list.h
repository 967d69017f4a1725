#pragma once

#include <string>
#include <vector>

#include "site/script/found_names.h"

namespace kestrine::testing {

// The names a reading rule gives for one text, as a list to compare:
// NamesBy(ScriptScanner::JsonPaths, json).
template <typename Rule, typename... Args>
std::vector<std::u16string> NamesBy(Rule rule, const Args&... args) {
  FoundNames names;
  rule(args..., names);
  return {names.names().begin(), names.names().end()};
}

}  // namespace kestrine::testing
