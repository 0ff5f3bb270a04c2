#include "platform/memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void HoldLargeBlocksBriefly() {
#if defined(__GLIBC__)
  // glibc would raise its mmap threshold to the largest block freed so far
  // and keep such blocks in their arena after they are freed.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void TrimAllocator() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace platform
