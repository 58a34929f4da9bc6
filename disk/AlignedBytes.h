#pragma once
// Byte buffers for large reads that start on a cache line. The kernel copies a read from
// the page cache several times faster into a buffer on a 64-byte boundary than into one
// 16 bytes past it, where malloc places large blocks (a sweep's reads took 4.5 times as
// long on the development machines).

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace norix {

template <class T>
struct CacheLineAllocator {
    using value_type = T;
    static constexpr std::align_val_t kAlignment{64};

    CacheLineAllocator() = default;
    template <class U>
    CacheLineAllocator(const CacheLineAllocator<U>&) {}

    T* allocate(size_t count) { return static_cast<T*>(::operator new(count * sizeof(T), kAlignment)); }
    void deallocate(T* pointer, size_t count) { ::operator delete(pointer, count * sizeof(T), kAlignment); }

    template <class U>
    bool operator==(const CacheLineAllocator<U>&) const {
        return true;
    }
};

using AlignedBytes = std::vector<uint8_t, CacheLineAllocator<uint8_t>>;

}  // namespace norix
