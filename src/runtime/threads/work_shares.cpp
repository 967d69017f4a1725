#include "runtime/threads/work_shares.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace kestrine {

std::size_t WorkShares::CountFor(std::size_t items, std::size_t minPerShare) {
  constexpr std::size_t kMostShares = 8;
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp<std::size_t>(items / std::max<std::size_t>(minPerShare, 1), 1,
                                 std::min(cores, kMostShares));
}

void WorkShares::Run(std::size_t items, std::size_t shares,
                     const std::function<void(std::size_t, std::size_t, std::size_t)>& work) {
  shares = std::max<std::size_t>(shares, 1);
  const auto share = [&](std::size_t k) { work(k, items * k / shares, items * (k + 1) / shares); };
  std::vector<std::thread> helpers;
  for (std::size_t k = 1; k < shares; ++k) helpers.emplace_back(share, k);
  share(0);
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace kestrine
