#pragma once
// Memory for the text's chunks (TextSegment::kChunkUnits units each), carved
// from 2 MB slabs the kernel may back with one huge page each: a flood then
// costs one page fault per slab instead of one per 4 KB page, which under a
// hypervisor is most of what appending costs. A slab goes back to the system
// once all of its chunks are given back (one empty slab is kept for reuse),
// so text moved to disk still frees its memory. Any thread.

#include <cstddef>

namespace chunkpages {

inline constexpr std::size_t kChunkBytes = std::size_t(512) << 10;
inline constexpr std::size_t kSlabBytes = std::size_t(2) << 20;

// A chunk of kChunkBytes, its contents undefined; throws std::bad_alloc.
char16_t* Take();
// Gives back a chunk from Take.
void Give(char16_t* chunk);
// Slabs mapped now (for tests).
std::size_t SlabCount();

}  // namespace chunkpages
