#include "runtime/allocator_tuning.h"

#include <cstdlib>  // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kestrine {

void AllocatorTuning::Apply() {
#if defined(__GLIBC__)
  constexpr int kOwnMappingBytes = 1024 * 1024;
  mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
  // Each arena keeps a few megabytes free at its top rather than giving
  // every freed page back and faulting it in again for the next page.
  constexpr int kKeptFreeBytes = 4 * 1024 * 1024;
  mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);
#endif
}

void AllocatorTuning::ReleaseFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace kestrine
