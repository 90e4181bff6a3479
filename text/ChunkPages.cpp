#include "text/ChunkPages.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace chunkpages {
namespace {

constexpr unsigned kChunksPerSlab = kSlabBytes / kChunkBytes;
constexpr unsigned kFull = (1u << kChunksPerSlab) - 1;

struct Slab {
    char* base;
    unsigned used;  // one bit per chunk
};

// A 2 MB-aligned slab: twice the size mapped, the ends cut off.
char* MapSlab()
{
    void* raw = ::mmap(nullptr, 2 * kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kSlabBytes - 1) & ~(std::uintptr_t(kSlabBytes) - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    if (const std::uintptr_t tail = start + 2 * kSlabBytes - (aligned + kSlabBytes); tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + kSlabBytes), tail);
    auto* slab = reinterpret_cast<char*>(aligned);
    ::madvise(slab, kSlabBytes, MADV_HUGEPAGE);  // a hint: without huge pages it is still a slab
    return slab;
}

class Slabs {
public:
    char16_t* Take()
    {
        std::lock_guard lock(m_mutex);
        Slab* target = nullptr;
        // The fullest slab with room, so that empty ones can go.
        for (Slab& slab : m_slabs)
            if (slab.used != kFull && (target == nullptr || __builtin_popcount(slab.used) > __builtin_popcount(target->used)))
                target = &slab;
        if (target == nullptr) {
            m_slabs.push_back({MapSlab(), 0});
            target = &m_slabs.back();
        }
        const unsigned index = static_cast<unsigned>(__builtin_ctz(~target->used));
        target->used |= 1u << index;
        return reinterpret_cast<char16_t*>(target->base + index * kChunkBytes);
    }
    void Give(char16_t* chunk)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(chunk);
        const auto base = reinterpret_cast<char*>(address & ~(std::uintptr_t(kSlabBytes) - 1));
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_slabs.size(); ++i) {
            if (m_slabs[i].base != base)
                continue;
            m_slabs[i].used &= ~(1u << ((address - reinterpret_cast<std::uintptr_t>(base)) / kChunkBytes));
            if (m_slabs[i].used == 0 && EmptySlabs() > 1) {
                ::munmap(base, kSlabBytes);
                m_slabs[i] = m_slabs.back();
                m_slabs.pop_back();
            }
            return;
        }
    }
    std::size_t Count()
    {
        std::lock_guard lock(m_mutex);
        return m_slabs.size();
    }

private:
    std::size_t EmptySlabs() const
    {
        std::size_t n = 0;
        for (const Slab& slab : m_slabs)
            n += slab.used == 0 ? 1 : 0;
        return n;
    }

    std::mutex m_mutex;
    std::vector<Slab> m_slabs;
};

// Never destroyed: a text that lives as long as the process gives its
// chunks back during exit, after function statics would be gone.
Slabs& TheSlabs()
{
    alignas(Slabs) static unsigned char storage[sizeof(Slabs)];
    static Slabs* const slabs = ::new (storage) Slabs();
    return *slabs;
}

}  // namespace

char16_t* Take()
{
    return TheSlabs().Take();
}

void Give(char16_t* chunk)
{
    if (chunk != nullptr)
        TheSlabs().Give(chunk);
}

std::size_t SlabCount()
{
    return TheSlabs().Count();
}

}  // namespace chunkpages
