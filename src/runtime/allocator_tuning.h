#pragma once

namespace kestrine {

// How the process asks the C library's allocator to behave; applied once at
// start-up, before other threads exist.
class AllocatorTuning {
 public:
  // Blocks of a megabyte and more (the text of a large page, several times
  // over while it is rewritten) are mapped for themselves and given back
  // when freed. By default the allocator raises that threshold after the
  // first such block is freed, and each worker's arena then keeps tens of
  // megabytes it no longer uses. Below that, each arena keeps a few
  // megabytes free rather than returning and faulting in pages all the time.
  static void Apply();
  // Gives the memory that freed blocks leave unused back to the system, as
  // when a project is dropped: otherwise the threads that work after it
  // take new memory beside what the project's workers freed.
  static void ReleaseFreeMemory();
};

}  // namespace kestrine
