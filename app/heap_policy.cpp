#include "app/heap_policy.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace heap_policy {

void keepPreviewBuffersInHeap() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    // Freed stages stay in the heap up to this much before it is trimmed.
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

}  // namespace heap_policy
