#include "site/script/named_files.h"

#include "runtime/string_utility.h"
#include "site/address/address.h"
#include "site/generators/generator_files.h"
#include "site/script/script_scanner.h"

namespace kestrine {

namespace {

// The part of a script's address up to the folder Vite writes its assets
// in: what its dependency lists are relative to.
std::u16string ViteBaseOf(const std::u16string& address) {
  const std::size_t assets = address.rfind(u"/assets/");
  if (assets == std::u16string::npos) return u"/";
  const std::size_t hostEnd = address.find(u'/', WebSchemeLength(address));
  return address.substr(hostEnd, assets + 1 - hostEnd);
}

// A page that loads a lean VitePress chunk loads the whole one later.
void AddWholeChunks(FoundNames& names, std::size_t from) {
  for (std::size_t i = from; i < names.names().size() && !names.Done(); ++i) {
    if (auto whole = GeneratorFiles::VitePressFullChunk(names.names()[i])) names.Add(*whole);
  }
}

}  // namespace

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
                          FoundNames& names) {
  const std::size_t first = names.names().size();
  ScriptScanner::ScriptReferences(script, names);
  const std::u16string publicPath = GeneratorFiles::WebpackPublicPath(script);
  GeneratorFiles::WebpackChunkFiles(script, publicPath, names);
  GeneratorFiles::DocusaurusSearchFiles(script, publicPath.empty() ? u"/" : publicPath, names);
  GeneratorFiles::ViteDependencies(script, ViteBaseOf(address), names);
  GeneratorFiles::PagefindBundleFiles(script, names);
  AddWholeChunks(names, first);
}

void NamedFiles::InJson(std::u16string_view json, const std::u16string& address,
                        FoundNames& names) {
  if (json.size() <= kMaxConfigJson) ScriptScanner::JsonPaths(json, names);
  if (address.ends_with(u"/hashmap.json")) GeneratorFiles::VitePressChunks(json, names);
  if (address.ends_with(u"/pagefind-entry.json")) GeneratorFiles::PagefindEntryFiles(json, names);
}

void NamedFiles::InPagefindMeta(std::string_view bytes, FoundNames& names) {
  GeneratorFiles::PagefindMetaFiles(bytes, names);
}

void NamedFiles::InInlineScript(std::u16string_view script, FoundNames& names) {
  ScriptScanner::ScriptReferences(script, names);
  GeneratorFiles::VitePressChunks(script, names);
  GeneratorFiles::PagefindBundleFiles(script, names);
}

void NamedFiles::InInlineJson(std::u16string_view json, FoundNames& names) {
  ScriptScanner::JsonPaths(json, names);
  for (const std::u16string& file : GeneratorFiles::MkDocsSearchFiles(json)) names.Add(file);
}

}  // namespace kestrine
