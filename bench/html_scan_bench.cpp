// Page scanning must be linear in the page size: throughput per MB stays
// flat from 100 KB to 20 MB.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "config/setting_util.h"
#include "engine/download/document_scope.h"
#include "engine/project.h"
#include "runtime/string_utility.h"
#include "site/css/style_sheet_scanner.h"
#include "site/html/html_scanner.h"
#include "surfaces/memory_queue_list.h"
#include "surfaces/plain_run_state.h"
#include "surfaces/plain_status_monitor.h"

namespace kestrine {
namespace {

// About one reference per 100 bytes, drawn from 1000 distinct targets, so
// the 20 MB page holds some 200,000 references, mostly repeats.
std::u16string GeneratePage(std::size_t bytes) {
  std::u16string page = u"<html><head><title>bench</title></head><body>\n";
  int k = 0;
  while (page.size() * 2 < bytes) {
    const std::string n = std::to_string(k % 1000);
    const std::string block = "<p>Some words of running text " + n +
                              " in a paragraph.</p><a href=\"../news/page" + n +
                              ".html\">link</a>\n<img src='img/pic" + n + ".png'> <b>more</b>\n";
    page.append(block.begin(), block.end());
    ++k;
  }
  page += u"</body></html>";
  return page;
}

struct BenchProject {
  PlainStatusMonitor monitor;
  MemoryQueueList list;
  PlainRunState runState;
  Project project{monitor, list, runState, runState};
  QueueEntry page;
  // What a page's scan sees of the project: every address one link deeper.
  DocumentScope scope{project, page, DocumentRole::Page, [] { return false; }};
  BenchProject() {
    monitor.AttachProject(&project);
    project.queue().AddAddress(u"http://www.example.com/site/index.html",
                               AddressQueue::NewProject::Yes);
    project.queue().SetMode(DownloadMode::DuplicateSite);
  }
};

void BM_ScanHtml(benchmark::State& state) {
  const std::u16string page = GeneratePage(static_cast<std::size_t>(state.range(0)));
  BenchProject bench;
  for (auto _ : state) {
    state.PauseTiming();
    std::u16string text = page;
    state.ResumeTiming();
    ScanHtmlReferences(bench.scope, text, u"http://www.example.com/site/index.html",
                       u"/home/user/Downloads/Kestrine",
                       u"/home/user/Downloads/Kestrine\\www.example.com\\site");
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size() * 2));
}
BENCHMARK(BM_ScanHtml)->Arg(100 << 10)->Arg(1 << 20)->Arg(20 << 20)->Unit(benchmark::kMillisecond);

void BM_ScanStyleSheet(benchmark::State& state) {
  std::u16string sheet;
  for (int k = 0; sheet.size() * 2 < static_cast<std::size_t>(state.range(0)); ++k) {
    const std::string rule = ".c" + std::to_string(k) + "{background:url(../img/b" +
                             std::to_string(k % 500) + ".png) no-repeat;color:#333}\n";
    sheet.append(rule.begin(), rule.end());
  }
  BenchProject bench;
  for (auto _ : state) {
    state.PauseTiming();
    std::u16string text = sheet;
    state.ResumeTiming();
    ScanStyleSheetReferences(bench.scope, text, u"http://www.example.com/css/a.css",
                             u"/home/user/Downloads/Kestrine",
                             u"/home/user/Downloads/Kestrine\\www.example.com\\css");
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sheet.size() * 2));
}
BENCHMARK(BM_ScanStyleSheet)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// A real page, dense with attributes that are not references: the cost of
// finding the patterns, apart from what is done with what they find.
// KESTRINE_BENCH_PAGE names it; by default a page of Debian's python3-doc.
void BM_ScanRealPage(benchmark::State& state) {
  const char* named = std::getenv("KESTRINE_BENCH_PAGE");
  const std::string path =
      named != nullptr ? named : "/usr/share/doc/python3-doc/html/library/os.html";
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) {
    state.SkipWithError("no page to scan: set KESTRINE_BENCH_PAGE or install python3-doc");
    return;
  }
  const std::u16string page = StringUtility::FromUtf8(bytes);
  struct Untouched : IReferenceRewriter {
    std::optional<std::u16string> Rewrite(const std::u16string&) override { return std::nullopt; }
  } untouched;
  for (auto _ : state) {
    std::u16string text = page;
    RunHtmlPasses(text, untouched);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_ScanRealPage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrine
