#include "largeblocks.h"

#include <malloc.h>

namespace corvane {

namespace {

constexpr int ownMappingFromBytes = 1024 * 1024;

} // namespace

// glibc serves large blocks from mappings of their own, but each time one is freed it raises
// that threshold to the block's size, up to 32 MiB. After the first 32 MB text had come and
// gone, the next one's buffers (SQLite's copies, its string) came from the heap and stayed
// resident once freed: the panel's process kept 60 MB more than it used, and the running
// application's peak grew by the same at later, small copies. A fixed threshold keeps it
// where it was.
void returnLargeBlocksWhenFreed()
{
    mallopt(M_MMAP_THRESHOLD, ownMappingFromBytes);
}

void returnFreedMemory()
{
    malloc_trim(0);
}

} // namespace corvane
