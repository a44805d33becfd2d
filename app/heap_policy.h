// How the desktop application asks the C library to keep its working buffers.
#pragma once

namespace heap_policy {

// The editor refills its preview stages (a few megabytes each) on every click. glibc gives
// blocks that size back to the system when they are freed and on the next click faults them
// in again, zeroing page by page; kept in the heap they are reused at once. Blocks of a whole
// photo (above 32 MiB) are still mapped apart and returned when freed. Call before any
// allocation that matters; a no-op without glibc.
void keepPreviewBuffersInHeap();

}  // namespace heap_policy
