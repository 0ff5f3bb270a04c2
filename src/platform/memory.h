// Tuning the C library's allocator around loading.
//
// Contract: with glibc (Linux), HoldLargeBlocksBriefly fixes the mmap
// threshold at 128 KiB, so every large block freed goes back to the system
// at once instead of staying in the arena of the thread that made it, and
// TrimAllocator hands the free memory of every arena back to the system
// (malloc_trim). Elsewhere (Windows, the browser, the null back end on
// another C library) both do nothing.
#pragma once

namespace platform {

void HoldLargeBlocksBriefly();
void TrimAllocator();

}  // namespace platform
