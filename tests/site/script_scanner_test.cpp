#include "site/script/script_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/string_utility.h"
#include "site/generators/doxygen_files.h"
#include "site/generators/route_data_files.h"
#include "site/generators/search_index_files.h"
#include "site/generators/vite_files.h"
#include "site/generators/webpack_files.h"
#include "support/found_names_list.h"
#include "support/pagefind_files.h"

namespace kestrine {
namespace {

using Strings = std::vector<std::u16string>;
using testing::CborText;
using testing::Gzipped;
using testing::NamesBy;

void Loads(std::u16string_view script, FoundNames& names) {
  ScriptScanner::ScriptReferences(script, names);
}

Strings GuessesIn(std::u16string_view script) {
  FoundNames loads;
  FoundNames guesses;
  ScriptScanner::ScriptReferences(script, loads, &guesses);
  return {guesses.names().begin(), guesses.names().end()};
}

TEST(ScriptScanner, LiteralsInTheFormsThatLoadFiles) {
  const std::u16string script =
      u"import a from \"./a.js\";import{b as c}from'./b.js';import \"./side.js\";"
      u"export*from\"./re.js\";const m=await import(\"./lazy.js\");"
      u"new Worker(\"/w/worker.js\");new SharedWorker('shared.js');"
      u"importScripts(\"s1.js\",\"s2.js\");fetch(\"/data/index.json\").then(r=>r);"
      u"navigator.serviceWorker.register(\"/sw.js\");"
      u"const u=new URL(\"./icon.png\",import.meta.url);";
  EXPECT_EQ(
      NamesBy(Loads, script),
      (Strings{u"./a.js", u"./b.js", u"./side.js", u"./re.js", u"./lazy.js", u"/w/worker.js",
               u"shared.js", u"s1.js", u"s2.js", u"/data/index.json", u"/sw.js", u"./icon.png"}));
}

TEST(ScriptScanner, CommentsStringsAndExpressionsAreNotLoads) {
  const std::u16string script =
      u"// import(\"./comment.js\")\n/* fetch(\"/c.json\") */"
      u"const s=\"import('./in-string.js')\";const r=/import\\(\"\\.\\/re.js\"\\)/g;"
      u"x=a/2/fetch;const t=`fetch(\"./t.js\")`;import(`./${name}.js`);"
      u"obj.import(\"./method.js\");const o={from:\"./key.js\"};Array.from(\"abc\");"
      u"api.fetch(\"./other.json\");new URL(\"https://api.example.com/v1\");"
      u"fetch(\"data:text/plain,x\");import(\"\")";
  for (const std::u16string& found : NamesBy(Loads, script)) {
    ADD_FAILURE() << StringUtility::ToUtf8(found);
  }
}

// Names a site's own code passes around: an argument of its function, a
// variable fetched later, an object's field, a folder. What is loaded for
// sure is no guess, and strings that only resemble paths are none either.
TEST(ScriptScanner, StringsThatLookLikeSitePathsAreGuesses) {
  const std::u16string script =
      u"Docs.loadIndex(\"index-data.js\");var e=\"/index.json\";fetch(e);"
      u"const cfg={search:'../search/lunr.json',icons:\"./img/logo.svg?v=2\",page:\"/docs/\"};"
      u"xhr.open(\"GET\",\"../index.json\");fetch(\"/sure.json\");"
      u"const t=\"text/css\",m=\"image/svg+xml\",w=\"Use the Node.js API\",d=\"12.05.2026\";"
      u"const r=\"/\",u=\"https://cdn.example.com/x.js\",p=\"//cdn.example.com/y.js\";"
      u"const g=\"*.json\",h=\"/a/{id}.json\",k=\"./\",q=\"../..\";"
      // Paths in markup a script writes, whole or the end of a value.
      u"n.html('<img src=\"'+relpath+'sync_on.png\" title=\"'+t+'\"/>');"
      u"x='<p class=\"a b\"><img src=\"img/a.png\" alt=\"\"><a href=\"x y\">';"
      // A file named after an expression: its own name is all that is known.
      u"el.src = `${el.src.substr(0, el.src.length - 9)}plus.png`; t=`${a}`; u=`${b}x${c}`;";
  EXPECT_EQ(GuessesIn(script), (Strings{u"index-data.js", u"/index.json", u"../search/lunr.json",
                                        u"./img/logo.svg?v=2", u"/docs/", u"../index.json",
                                        u"sync_on.png", u"img/a.png", u"plus.png"}));
  // A script of any size offers at most the bound a FoundNames is given.
  std::u16string many;
  for (int i = 0; i < 300; ++i)
    many += u"f(\"/p" + StringUtility::FromUtf8(std::to_string(i)) + u".json\");";
  FoundNames loads;
  FoundNames guesses(200);
  ScriptScanner::ScriptReferences(many, loads, &guesses);
  EXPECT_EQ(guesses.names().size(), 200u);
  EXPECT_TRUE(loads.names().empty());
}

TEST(ScriptScanner, JsonValuesThatArePathsOfFiles) {
  const std::u16string json =
      u"{\"base\": \"../..\", \"search\": \"../../assets/workers/search.bd0b.min.js\","
      u" \"icons\": [{\"src\": \"/icons/192.png\", \"sizes\": \"192x192\"}],"
      u" \"assets/key.js\": \"1.0.2\", \"text\": \"docs/intro.md\", \"map\": \"app.js.map\","
      u" \"words\": \"see logo](./img/a.png\", \"imports\": {\"vue\": \"./vendor/vue.mjs\"}}";
  EXPECT_EQ(NamesBy(ScriptScanner::JsonPaths, json),
            (Strings{u"../../assets/workers/search.bd0b.min.js", u"/icons/192.png",
                     u"./vendor/vue.mjs"}));
}

// What a click on a link asks of routers that build their data's names:
// Next.js's payloads beside each page, SvelteKit's __data.json.
TEST(GeneratorFiles, RouteDataOfNextAndSvelteKitPages) {
  const auto guesses = [](std::u16string_view script, std::u16string_view path) {
    FoundNames found;
    RouteDataFiles::Guesses(script, path, found);
    return Strings(found.names().begin(), found.names().end());
  };
  const std::u16string_view next = u"(self.__next_f=self.__next_f||[]).push([0])";
  EXPECT_EQ(guesses(next, u"/guide/intro/"),
            (Strings{u"/guide/intro/index.txt", u"/guide/intro/__next._tree.txt",
                     u"/guide/intro/__next._index.txt",
                     u"/guide/intro/__next.guide.intro.__PAGE__.txt"}));
  EXPECT_EQ(guesses(next, u"/"), (Strings{u"/index.txt", u"/__next._tree.txt",
                                          u"/__next._index.txt", u"/__next.__PAGE__.txt"}));
  EXPECT_EQ(guesses(next, u"/guide/intro.html"), (Strings{u"/guide/intro.txt"}));
  const std::u16string_view svelte = u"__sveltekit_12drkqc = {base: new URL(\"..\", location)}";
  EXPECT_EQ(guesses(svelte, u"/guide/intro/"),
            (Strings{u"/guide/intro/__data.json", u"/_app/version.json"}));
  EXPECT_EQ(guesses(svelte, u"/about"), (Strings{u"/about/__data.json", u"/_app/version.json"}));
  EXPECT_TRUE(guesses(u"console.log('plain')", u"/guide/").empty());
  EXPECT_TRUE(guesses(next, u"").empty());
}

TEST(GeneratorFiles, WebpackChunkMapsGiveEveryChunk) {
  // As Docusaurus's runtime writes them, and a worker's runtime with one
  // chunk and no map.
  const std::u16string runtime =
      u"n.p=\"/\",n.u=e=>\"assets/js/\"+(({106:\"17896441\",266:\"0058b4c6\"})[e]||e)+\".\"+"
      u"({106:\"d846b4d0\",266:\"d58dadbc\",512:\"aaaa1111\"})[e]+\".js\",n.miniCssF=e=>"
      u"\"assets/css/\"+{300:\"styles\"}[e]+\".\"+{300:\"5f6e7d8c\"}[e]+\".css\"";
  EXPECT_EQ(WebpackFiles::PublicPath(runtime), u"/");
  EXPECT_EQ(NamesBy(WebpackFiles::ChunkFiles, runtime, u""),
            (Strings{u"assets/js/17896441.d846b4d0.js", u"assets/js/0058b4c6.d58dadbc.js",
                     u"assets/js/512.aaaa1111.js", u"assets/css/styles.5f6e7d8c.css"}));
  const std::u16string worker =
      u"u.u=e=>\"assets/js/\"+e+\".21e1bc6d.js\",u.miniCssF=e=>\"\"+e+\".css\","
      u"u.x=()=>u.e(\"1852\").then(r)";
  EXPECT_EQ(NamesBy(WebpackFiles::ChunkFiles, worker, u""),
            (Strings{u"assets/js/1852.21e1bc6d.js"}));
  // The older form.
  EXPECT_EQ(
      NamesBy(WebpackFiles::ChunkFiles,
              u"r.u=function(e){return\"static/\"+e+\".\"+{7:\"abcd\"}[e]+\".chunk.js\"}", u""),
      (Strings{u"static/7.abcd.chunk.js"}));
}

TEST(GeneratorFiles, ViteAndVitePress) {
  EXPECT_EQ(
      NamesBy(ViteFiles::Dependencies,
              u"const __vite__mapDeps=(i,m=__vite__mapDeps,d=(m.f||(m.f=[\"assets/chunks/"
              u"VPLocalSearchBox.Bp.js\",\"assets/chunks/framework.Dr.js\"])))=>i.map(i=>d[i]);",
              u""),
      (Strings{u"assets/chunks/VPLocalSearchBox.Bp.js", u"assets/chunks/framework.Dr.js"}));
  EXPECT_EQ(ViteFiles::VitePressFullChunk(u"/assets/guide_intro.md.Xk6.lean.js"),
            u"/assets/guide_intro.md.Xk6.js");
  EXPECT_FALSE(ViteFiles::VitePressFullChunk(u"/assets/app.lean.js"));
  // Inline in every page, with the site's base beside it.
  const std::u16string inline_ =
      u"window.__VP_HASH_MAP__=JSON.parse(\"{\\\"guide_a.md\\\":\\\"Xk6\\\",\\\"index.md\\\":"
      u"\\\"t-7\\\"}\");window.__VP_SITE_DATA__=JSON.parse(\"{\\\"lang\\\":\\\"en\\\","
      u"\\\"base\\\":\\\"/docs/\\\"}\");";
  EXPECT_EQ(NamesBy(ViteFiles::VitePressChunks, inline_),
            (Strings{u"/docs/hashmap.json", u"/docs/assets/guide_a.md.Xk6.js",
                     u"/docs/assets/guide_a.md.Xk6.lean.js", u"/docs/assets/index.md.t-7.js",
                     u"/docs/assets/index.md.t-7.lean.js"}));
  EXPECT_EQ(NamesBy(ViteFiles::VitePressChunks, u"{\"index.md\":\"t-7\"}"),
            (Strings{u"assets/index.md.t-7.js", u"assets/index.md.t-7.lean.js"}));
}

TEST(GeneratorFiles, MkDocsDocusaurusAndPagefindSearches) {
  EXPECT_EQ(NamesBy(SearchIndexFiles::MkDocsSearchFiles,
                    u"{\"base\": \"../..\", \"features\": [], \"search\": \"../../w/search.js\"}"),
            (Strings{u"../../search/search_index.json"}));
  EXPECT_TRUE(NamesBy(SearchIndexFiles::MkDocsSearchFiles, u"{\"base\": \"..\"}").empty());
  EXPECT_EQ(NamesBy(WebpackFiles::DocusaurusSearchFiles,
                    u"let s=[],n=[\"en\"],o=\"search-index{dir}.json?_=83dcc0e1\"", u""),
            (Strings{u"search-index.json?_=83dcc0e1"}));
  EXPECT_EQ(NamesBy(SearchIndexFiles::PagefindBundleFiles,
                    u"bundlePath:`/`.replace(/\\/$/,``)+`/pagefind/`,showImages:!1"),
            (Strings{u"/pagefind/pagefind.js", u"/pagefind/pagefind-entry.json",
                     u"/pagefind/pagefind-worker.js", u"/pagefind/wasm.unknown.pagefind"}));
  EXPECT_EQ(NamesBy(SearchIndexFiles::PagefindEntryFiles,
                    u"{\"version\":\"1.6.0\",\"languages\":{\"en\":{\"hash\":\"en_aacc\",\"wasm\":"
                    u"\"en\",\"page_count\":4},\"de\":{\"hash\":\"de_bb\",\"wasm\":\"de\"}}}"),
            (Strings{u"pagefind.en_aacc.pf_meta", u"wasm.en.pagefind", u"pagefind.de_bb.pf_meta",
                     u"wasm.de.pagefind"}));
}

TEST(GeneratorFiles, DoxygenNavigationTreeParts) {
  const std::u16string data =
      u"/*\n @licstart var x = 1;\n*/\nvar NAVTREE =\n[\n  [ \"SDL\", \"index.html\", [\n"
      u"    [ \"Data Fields\", \"functions.html\", [\n"
      u"      [ \"All\", \"functions.html\", \"functions_dup\" ],\n"
      u"      [ \"Files\", null, \"d6/d30/_s_d_l__render_8h\" ],\n"
      u"      [ \"Leaf\", \"a.html#x[1]\", null ] ] ] ] ]\n];\n"
      u"var NAVTREEINDEX =\n[\n\"annotated.html\",\n\"d1/d59/s.html#a89\",\n\"z.html\"\n];\n";
  EXPECT_EQ(NamesBy(DoxygenFiles::NavTreeFiles, data, u"http://h/doc/html/navtreedata.js"),
            (Strings{u"index.html", u"functions.html", u"functions_dup.js",
                     u"d6/d30/_s_d_l__render_8h.js", u"a.html", u"navtreeindex0.js",
                     u"navtreeindex1.js", u"navtreeindex2.js"}));
  // A node's script names its children from the tree's top: two folders
  // up from a spread folder, its own folder otherwise.
  const std::u16string node =
      u"var _s_d_l__render_8h =\n[\n    [ \"SDL_Vertex\", \"d9/dd9/struct_v.html\", "
      u"\"d9/dd9/struct_v\" ],\n    [ \"SDL_Renderer\", \"d6/d30/r.html#aa\", null ]\n];";
  EXPECT_EQ(NamesBy(DoxygenFiles::NavTreeFiles, node, u"http://h/html/d6/d30/_s_d_l__render_8h.js"),
            (Strings{u"../../d9/dd9/struct_v.html", u"../../d9/dd9/struct_v.js",
                     u"../../d6/d30/r.html"}));
  EXPECT_EQ(NamesBy(DoxygenFiles::NavTreeFiles, node, u"http://h/html/_s_d_l__render_8h.js?v=2"),
            (Strings{u"d9/dd9/struct_v.html", u"d9/dd9/struct_v.js", u"d6/d30/r.html"}));
  // A script not named after what it sets is no node of the tree, and a
  // NAVTREE anywhere but navtreedata.js is no tree.
  EXPECT_TRUE(NamesBy(DoxygenFiles::NavTreeFiles, node, u"http://h/html/d6/d30/app.js").empty());
  EXPECT_TRUE(NamesBy(DoxygenFiles::NavTreeFiles, data, u"http://h/html/navtree.js").empty());
  EXPECT_TRUE(NamesBy(DoxygenFiles::NavTreeFiles, u"var a =[", u"http://h/a.js").empty());
}

TEST(GeneratorFiles, DoxygenSearchDataGivesEveryResultFile) {
  const std::u16string data =
      u"var indexSectionsWithContent =\n{\n  0: \"_abcdefghijklmnopq~\",\n  1: \"e\"\n};\n"
      u"var indexSectionNames =\n{\n  0: \"all\",\n  1: \"namespaces\"\n};\n";
  FoundNames names;
  FoundNames guesses;
  DoxygenFiles::SearchFiles(data, u"http://h/doc/html/search/searchdata.js", names, &guesses);
  ASSERT_EQ(names.names().size(), 20u);
  EXPECT_EQ(names.names()[0], u"all_0.js");
  EXPECT_EQ(names.names()[17], u"all_11.js");
  EXPECT_EQ(names.names()[19], u"namespaces_0.js");
  // Older versions' result pages may be there or not: guessed, from the top.
  ASSERT_EQ(guesses.names().size(), 21u);
  EXPECT_EQ(guesses.names()[18], u"/doc/html/search/all_12.html");
  EXPECT_EQ(guesses.names()[20], u"/doc/html/search/nomatches.html");
  // An old version's map of flags per character code lists no letters.
  FoundNames flags;
  DoxygenFiles::SearchFiles(u"var indexSectionsWithContent = { 0: \"" + std::u16string(97, u'0') +
                                std::u16string(26, u'1') + std::u16string(133, u'0') +
                                u"\" };\nvar indexSectionNames = { 0: \"all\" };",
                            u"http://h/search/searchdata.js", flags, nullptr);
  EXPECT_TRUE(flags.names().empty());
  // The same lists anywhere else are no search of Doxygen's.
  FoundNames elsewhere;
  DoxygenFiles::SearchFiles(data, u"http://h/search/data.js", elsewhere, nullptr);
  EXPECT_TRUE(elsewhere.names().empty());
}

TEST(GeneratorFiles, PagefindMetaListsItsFragmentsIndexChunksAndFilters) {
  // [version, [[hash, words, ""]...], [[from, to, hash]], [[filter, hash]], [], []]
  const std::string meta = "pagefind_dcd" + std::string("\x86") + CborText("1.6.0") + "\x82" +
                           "\x83" + CborText("en_d718835") + "\x07" + CborText("") + "\x83" +
                           CborText("en_5d765c4") + "\x05" + CborText("") + "\x81" + "\x83" +
                           CborText("appear") + CborText("xylograph") + CborText("en_9914581") +
                           "\x81" + "\x82" + CborText("tag") + CborText("en_f1") + "\x80\x80";
  EXPECT_EQ(NamesBy(SearchIndexFiles::PagefindMetaFiles, Gzipped(meta)),
            (Strings{u"fragment/en_d718835.pf_fragment", u"fragment/en_5d765c4.pf_fragment",
                     u"index/en_9914581.pf_index", u"filter/en_f1.pf_filter"}));
  // What is no meta file, or is cut short, names nothing and ends.
  EXPECT_TRUE(NamesBy(SearchIndexFiles::PagefindMetaFiles, meta).empty());
  EXPECT_TRUE(NamesBy(SearchIndexFiles::PagefindMetaFiles, Gzipped(meta.substr(0, 40))).size() < 2);
  EXPECT_TRUE(
      NamesBy(SearchIndexFiles::PagefindMetaFiles, Gzipped("pagefind_dcd\x9b\xff\xff\xff\xff"
                                                           "\xff\xff\xff\xff"))
          .empty());
}

}  // namespace
}  // namespace kestrine
