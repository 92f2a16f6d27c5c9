#pragma once

namespace corvane {

// Makes the allocator give every block of a megabyte or more a mapping of its own, returned
// to the system as soon as it is freed. Called once at the start of a process, before its
// threads start.
void returnLargeBlocksWhenFreed();

// Gives the system back the free pages inside the allocator's heaps: memory freed in many
// small blocks (a page cache's pages) otherwise stays resident.
void returnFreedMemory();

} // namespace corvane
