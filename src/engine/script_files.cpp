#include "engine/script_files.h"

#include "encoding/ansi_code_page.h"
#include "engine/document_scope.h"
#include "runtime/http_client.h"
#include "runtime/string_utility.h"
#include "site/address.h"
#include "site/generator_files.h"
#include "site/reference_writer.h"
#include "site/script_scanner.h"

namespace kestrine {

namespace {

enum class NamingKind { None, Script, Json, PagefindMeta };

NamingKind KindOf(const std::string& contentType, const std::u16string& address) {
  const std::string type = StringUtility::ToLowerAscii(StringUtility::TrimAscii(contentType));
  const auto is = [&](std::string_view prefix) { return type.rfind(prefix, 0) == 0; };
  if (is("text/javascript") || is("application/javascript") || is("application/x-javascript") ||
      is("application/ecmascript")) {
    return NamingKind::Script;
  }
  const std::u16string extension = PathExtensionOf(address);
  if (extension == u"pf_meta") return NamingKind::PagefindMeta;
  const std::string essence = type.substr(0, type.find(';'));
  if (essence == "application/json" || essence.ends_with("+json") || extension == u"json" ||
      extension == u"webmanifest") {
    return NamingKind::Json;
  }
  return NamingKind::None;
}

// The part of a script's address up to the folder Vite writes its assets
// in: what its dependency lists are relative to.
std::u16string ViteBaseOf(const std::u16string& address) {
  const std::size_t assets = address.rfind(u"/assets/");
  if (assets == std::u16string::npos) return u"/";
  const std::size_t hostEnd = address.find(u'/', WebSchemeLength(address));
  return address.substr(hostEnd, assets + 1 - hostEnd);
}

std::vector<std::u16string> NamedInScript(const std::u16string& script,
                                          const std::u16string& address) {
  std::vector<std::u16string> named = ScriptScanner::ScriptReferences(script);
  const GeneratorFiles::WebpackChunks chunks = GeneratorFiles::WebpackChunkFiles(script);
  for (const std::u16string& file : chunks.files) named.push_back(chunks.publicPath + file);
  for (const std::u16string& file : GeneratorFiles::DocusaurusSearchFiles(script)) {
    named.push_back(chunks.publicPath.empty() ? u"/" + file : chunks.publicPath + file);
  }
  for (const std::u16string& file : GeneratorFiles::ViteDependencies(script)) {
    named.push_back(ViteBaseOf(address) + file);
  }
  for (std::u16string& file : GeneratorFiles::PagefindBundleFiles(script)) {
    named.push_back(std::move(file));
  }
  std::vector<std::u16string> wholeChunks;
  for (const std::u16string& reference : named) {
    if (auto whole = GeneratorFiles::VitePressFullChunk(reference)) wholeChunks.push_back(*whole);
  }
  named.insert(named.end(), wholeChunks.begin(), wholeChunks.end());
  return named;
}

// A JSON file larger than this is data (a search index, a page's content)
// whose words may look like paths; only its generator's rule reads it.
constexpr std::size_t kMaxConfigJson = 64 * 1024;

std::vector<std::u16string> NamedInJson(const std::u16string& json, const std::u16string& address) {
  std::vector<std::u16string> named;
  if (json.size() <= kMaxConfigJson) named = ScriptScanner::JsonPaths(json);
  if (address.ends_with(u"/hashmap.json")) {
    for (std::u16string& chunk : GeneratorFiles::VitePressChunks(json)) {
      named.push_back(std::move(chunk));
    }
  }
  if (address.ends_with(u"/pagefind-entry.json")) {
    for (std::u16string& file : GeneratorFiles::PagefindEntryFiles(json)) {
      named.push_back(std::move(file));
    }
  }
  return named;
}

}  // namespace

void TakeFilesNamedIn(Project& project, const QueueEntry& entry, HttpClient& client) {
  const AddressQueue& queue = project.queue();
  if (queue.mode() == RetrieveFiles) return;
  const std::u16string address = client.GetLocationURL();
  if (!StringUtility::EqualsIgnoreCaseAscii(SplitAbsolute(address).host, queue.siteHost())) {
    return;
  }
  const NamingKind kind = KindOf(client.GetHeaderValue("Content-Type"), address);
  if (kind == NamingKind::None) return;
  std::vector<std::u16string> named;
  if (kind == NamingKind::PagefindMeta) {
    named = GeneratorFiles::PagefindMetaFiles(client.GetBody());
  } else {
    const std::u16string text = client.GetSource();
    named = kind == NamingKind::Script ? NamedInScript(text, address) : NamedInJson(text, address);
  }
  DocumentScope scope(project, entry, DocumentRole::Requisite);
  ReferenceWriter writer(scope, address, project.siteFolder(), project.siteFolder());
  for (const std::u16string& reference : named) {
    if (project.IsStopRequested()) return;
    writer.TakeNamed(reference);
  }
}

}  // namespace kestrine
