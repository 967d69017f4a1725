#pragma once

#include <cstddef>
#include <functional>

namespace kestrine {

// Independent items worked through in contiguous shares, one thread each
// (the calling thread takes the first), for the passes over a whole copy
// that run when nothing else does: the check and the relinking at the end
// of a run.
class WorkShares {
 public:
  // How many shares `items` are worth: at least `minPerShare` items each,
  // no more than the machine's cores (or eight); never fewer than one.
  static std::size_t CountFor(std::size_t items, std::size_t minPerShare);
  // Calls work(share, begin, end) for each share; returns when all are done.
  static void Run(std::size_t items, std::size_t shares,
                  const std::function<void(std::size_t, std::size_t, std::size_t)>& work);
};

}  // namespace kestrine
