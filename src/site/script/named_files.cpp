#include "site/script/named_files.h"

#include "runtime/string_utility.h"
#include "site/address/address.h"
#include "site/generators/doxygen_files.h"
#include "site/generators/search_index_files.h"
#include "site/generators/vite_files.h"
#include "site/generators/webpack_files.h"
#include "site/script/script_scanner.h"

namespace kestrine {

std::optional<NamedFiles::Kind> NamedFiles::KindOf(std::string_view contentType,
                                                   const std::u16string& address) {
  const std::string type =
      StringUtility::ToLowerAscii(StringUtility::TrimAscii(std::string(contentType)));
  const auto is = [&](std::string_view prefix) { return type.rfind(prefix, 0) == 0; };
  if (is("text/javascript") || is("application/javascript") || is("application/x-javascript") ||
      is("application/ecmascript")) {
    return Kind::Script;
  }
  const std::u16string extension = PathExtensionOf(address);
  if (extension == u"pf_meta") return Kind::PagefindMeta;
  const std::string essence = type.substr(0, type.find(';'));
  if (essence == "application/json" || essence.ends_with("+json") || extension == u"json" ||
      extension == u"webmanifest") {
    return Kind::Json;
  }
  return std::nullopt;
}

void NamedFiles::InScript(std::u16string_view script, const std::u16string& address,
                          FoundNames& names, FoundNames* guesses) {
  const std::size_t first = names.names().size();
  ScriptScanner::ScriptReferences(script, names, guesses);
  const std::u16string publicPath = WebpackFiles::PublicPath(script);
  WebpackFiles::ChunkFiles(script, publicPath, names);
  WebpackFiles::DocusaurusSearchFiles(script, publicPath.empty() ? u"/" : publicPath, names);
  ViteFiles::Dependencies(script, ViteFiles::BaseOf(address), names);
  if (SearchIndexFiles::IsPagefindScript(address)) {
    SearchIndexFiles::PagefindOwnFolderFiles(names);
  } else {
    SearchIndexFiles::PagefindBundleFiles(script, names);
  }
  DoxygenFiles::NavTreeFiles(script, address, names);
  DoxygenFiles::SearchFiles(script, address, names, guesses);
  ViteFiles::AddVitePressFullChunks(names, first);
}

void NamedFiles::InJson(std::u16string_view json, const std::u16string& address,
                        FoundNames& names) {
  if (json.size() <= kMaxConfigJson) ScriptScanner::JsonPaths(json, names);
  if (address.ends_with(u"/hashmap.json")) ViteFiles::VitePressChunks(json, names);
  if (address.ends_with(u"/pagefind-entry.json")) SearchIndexFiles::PagefindEntryFiles(json, names);
}

void NamedFiles::InPagefindMeta(std::string_view bytes, FoundNames& names) {
  SearchIndexFiles::PagefindMetaFiles(bytes, names);
}

void NamedFiles::InInlineScript(std::u16string_view script, FoundNames& names,
                                FoundNames* guesses) {
  ScriptScanner::ScriptReferences(script, names, guesses);
  ViteFiles::VitePressChunks(script, names);
  SearchIndexFiles::PagefindBundleFiles(script, names);
}

void NamedFiles::InInlineJson(std::u16string_view json, FoundNames& names) {
  ScriptScanner::JsonPaths(json, names);
  SearchIndexFiles::MkDocsSearchFiles(json, names);
}

}  // namespace kestrine
