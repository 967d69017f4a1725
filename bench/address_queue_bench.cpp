// AddAddress must stay flat per call however many addresses the project
// already knows.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>

#include <string>
#include <vector>

#include "engine/queue/address_queue.h"

namespace kestrine {
namespace {

std::vector<std::u16string> Addresses(int count) {
  std::vector<std::u16string> addresses;
  addresses.reserve(count);
  for (int i = 0; i < count; ++i) {
    const std::string s = "http://www.example.com/section/" + std::to_string(i % 97) + "/article-" +
                          std::to_string(i) + ".html";
    addresses.emplace_back(s.begin(), s.end());
  }
  return addresses;
}

void BM_AddAddressDistinct(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<std::u16string> addresses = Addresses(count);
  double bytesPerEntry = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto queue = std::make_unique<AddressQueue>();
    const std::size_t before = mallinfo2().uordblks;
    state.ResumeTiming();
    queue->AddAddress(addresses[0], AddressQueue::NewProject::Yes);
    for (int i = 1; i < count; ++i) queue->AddAddress(addresses[i]);
    state.PauseTiming();
    bytesPerEntry = static_cast<double>(mallinfo2().uordblks - before) / count;
    queue.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["bytes_per_entry"] = bytesPerEntry;
}
BENCHMARK(BM_AddAddressDistinct)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

// The common case while scanning: an address the project knows already.
void BM_AddAddressKnown(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<std::u16string> addresses = Addresses(count);
  AddressQueue queue;
  for (int i = 0; i < count; ++i) {
    queue.AddAddress(addresses[i],
                     i == 0 ? AddressQueue::NewProject::Yes : AddressQueue::NewProject::No);
  }
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(queue.AddAddress(addresses[i]));
    i = i + 1 == count ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddAddressKnown)->Arg(10'000)->Arg(1'000'000);

}  // namespace
}  // namespace kestrine
