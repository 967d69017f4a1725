// The readers of scripts, JSON and indexes must be linear in their input,
// hostile or not: at least 50 MB/s of script on every input, so a 50 MB
// file is read in about a second. Throughput is of the file as served
// (bytes of UTF-8), decoding included.
#include <benchmark/benchmark.h>

#include <string>

#include "runtime/string_utility.h"
#include "site/script/named_files.h"
#include "support/hostile_scripts.h"

namespace kestrine {
namespace {

using testing::HostileScripts;

// What a bundler writes: modules of code with a few loads among them.
std::string BundleLike(std::size_t bytes) {
  std::string script;
  for (int i = 0; script.size() < bytes; ++i) {
    const std::string n = std::to_string(i);
    script += "function m" + n + "(e,t){const r=e.map(x=>x*" + n + "/2).filter(Boolean);" +
              "if(t){return import(\"./chunk" + std::to_string(i % 500) + ".js\")}" +
              "return r.length>3?`a${r[0]}b`:/[a-z]+\\//.test(e)?'x':\"y\"}\n";
  }
  return script;
}

void ReadScript(benchmark::State& state, const std::string& script) {
  for (auto _ : state) {
    const std::u16string text = StringUtility::FromUtf8(script);
    FoundNames names;
    NamedFiles::InScript(text, u"https://h.example/assets/app.js", names);
    benchmark::DoNotOptimize(names.names().size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * script.size()));
}

constexpr std::size_t kSize = 8u << 20;

void BM_BundleLike(benchmark::State& state) { ReadScript(state, BundleLike(kSize)); }
void BM_RepeatedRuntime(benchmark::State& state) {
  ReadScript(state, HostileScripts::RepeatedRuntime(kSize));
}
void BM_UnendingIndexNames(benchmark::State& state) {
  ReadScript(state, HostileScripts::UnendingIndexNames(kSize));
}
void BM_RuntimesAndChunkIds(benchmark::State& state) {
  ReadScript(state, HostileScripts::RuntimesAndChunkIds(kSize));
}
void BM_RuntimeWithHugeMap(benchmark::State& state) {
  ReadScript(state, HostileScripts::RuntimeWithHugeMap(kSize));
}
void BM_PagefindBundles(benchmark::State& state) {
  ReadScript(state, HostileScripts::PagefindBundles(kSize));
}
void BM_Fetches(benchmark::State& state) { ReadScript(state, HostileScripts::Fetches(kSize)); }

void BM_HashMapJson(benchmark::State& state) {
  const std::string json = HostileScripts::HashMap(400000);
  for (auto _ : state) {
    const std::u16string text = StringUtility::FromUtf8(json);
    FoundNames names;
    NamedFiles::InJson(text, u"https://h.example/hashmap.json", names);
    benchmark::DoNotOptimize(names.names().size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}

BENCHMARK(BM_BundleLike)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepeatedRuntime)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnendingIndexNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RuntimesAndChunkIds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RuntimeWithHugeMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PagefindBundles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fetches)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashMapJson)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrine
