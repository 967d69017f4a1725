// What scripts, JSON files and indexes name, read in linear time and
// bounded memory whatever a hostile site puts in them.
#include "site/script/named_files.h"

#include <gtest/gtest.h>

#include "runtime/string_utility.h"
#include "support/gzip.h"
#include "support/hostile_scripts.h"

namespace kestrine {
namespace {

using testing::HostileScripts;

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

FoundNames InScript(const std::string& script) {
  FoundNames names;
  NamedFiles::InScript(Wide(script), u"https://h.example/assets/app.js", names);
  return names;
}

TEST(NamedFiles, EveryRuleReadsItsFileInOnePass) {
  const FoundNames names = InScript(
      "import(\"./lazy.js\");n.p=\"/\",n.u=e=>\"js/\"+e+\".js\";n.e(\"7\");"
      "const "
      "__vite__mapDeps=(i,m=__vite__mapDeps,d=(m.f||(m.f=[\"assets/d.js\",\"../nodes/0.js\"])));"
      "new PagefindUI({bundlePath:\"/pagefind/\"});import(\"./a.md.X.lean.js\")");
  const std::deque<std::u16string> expected{u"./lazy.js",
                                            u"./a.md.X.lean.js",
                                            u"/js/7.js",
                                            u"/assets/d.js",
                                            u"../nodes/0.js",
                                            u"/pagefind/pagefind.js",
                                            u"/pagefind/pagefind-entry.json",
                                            u"/pagefind/pagefind-worker.js",
                                            u"/pagefind/wasm.unknown.pagefind",
                                            u"./a.md.X.js"};
  EXPECT_EQ(names.names(), expected);
}

// Each of these took time growing with the square of its size, or memory
// in gigabytes, before the readers were bounded.
// Pagefind's script finds its bundle beside itself, in whatever folder a
// site gave it; the "/pagefind/" it carries is only its default.
TEST(NamedFiles, PagefindsOwnScriptNamesTheBundleBesideIt) {
  FoundNames names;
  NamedFiles::InScript(u"const d=\"/pagefind/\";import.meta.url",
                       u"https://h.example/_pagefind/pagefind.js", names);
  const std::deque<std::u16string> expected{u"pagefind.js", u"pagefind-entry.json",
                                            u"pagefind-worker.js", u"wasm.unknown.pagefind"};
  EXPECT_EQ(names.names(), expected);
}

TEST(NamedFiles, HostileScriptsCostBoundedTimeAndNames) {
  // A runtime whose `return` never comes: a 6 MB one never finished.
  EXPECT_TRUE(InScript(HostileScripts::RepeatedRuntime(6 << 20)).names().empty());
  // 234 KB of a search index name that never ends ran out of memory.
  EXPECT_TRUE(InScript(HostileScripts::UnendingIndexNames(1 << 20)).names().empty());
  // Every runtime paired with every chunk id: 96 KB took 1.46 GB.
  const FoundNames paired = InScript(HostileScripts::RuntimesAndChunkIds(1 << 20));
  EXPECT_EQ(paired.names().size(), FoundNames::kMaxNames);
  EXPECT_GT(paired.skipped(), 0u);
  // A chunk map of 300,000 entries was looked up entry by entry for each.
  EXPECT_EQ(InScript(HostileScripts::RuntimeWithHugeMap(6 << 20)).names().size(),
            FoundNames::kMaxNames);
  // Maps that never close, or hold the next function: 1 MB took a minute.
  EXPECT_TRUE(InScript(HostileScripts::UnclosedRuntimeMaps(4 << 20)).names().empty());
  EXPECT_TRUE(InScript(HostileScripts::RuntimesInsideAMap(4 << 20)).names().empty());
  // The same bundle named a million times gives its four files once.
  EXPECT_EQ(InScript(HostileScripts::PagefindBundles(16 << 20)).names().size(), 4u);
  // Distinct names stop at the bound.
  const FoundNames fetched = InScript(HostileScripts::Fetches(8 << 20));
  EXPECT_EQ(fetched.names().size(), FoundNames::kMaxNames);
  EXPECT_EQ(fetched.names().front(), u"/api/0.json");
}

TEST(NamedFiles, HostileJsonAndIndexesCostBoundedNames) {
  FoundNames chunks;
  NamedFiles::InJson(Wide(HostileScripts::HashMap(1000000)), u"https://h.example/hashmap.json",
                     chunks);
  EXPECT_EQ(chunks.names().size(), FoundNames::kMaxNames);
  EXPECT_EQ(chunks.names()[0], u"assets/guide_p0.md.H0.js");
  // A meta file of 15 KB that unpacked to 15 MB of one name took 603 MB.
  std::string meta = std::string("pagefind_dcd\x86") + "\x65" + "1.6.0" + "\x9a" +
                     std::string("\x00\x4c\x4b\x40", 4);  // 5,000,000 pages
  for (int i = 0; i < 5000000; ++i)
    meta +=
        "\x81\x61"
        "a";
  const std::string packed = testing::Gzipped(meta);
  ASSERT_LT(packed.size(), 64u * 1024);
  FoundNames unpacked;
  NamedFiles::InPagefindMeta(packed, unpacked);
  EXPECT_TRUE(unpacked.names().empty());
  // A stop asked for ends a reading within a few thousand steps.
  bool stop = false;
  FoundNames stopped(FoundNames::kMaxNames, [&stop] { return stop; });
  stop = true;
  NamedFiles::InScript(Wide(HostileScripts::Fetches(8 << 20)), u"https://h.example/a.js", stopped);
  EXPECT_LE(stopped.names().size(), 4096u);
}

}  // namespace
}  // namespace kestrine
