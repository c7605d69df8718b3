// Allocator of the encoder's coefficient arrays. New elements are left uninitialised, since the
// transform writes every coefficient, and a few freed arrays are kept per thread for the next
// picture: a run of previews of one size then neither clears nor faults in fresh memory.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace veltrane::jpeg {

// The freed blocks one thread keeps, matched by exact size.
class RecycledBlocks {
public:
    static constexpr int kSlots = 4;
    static constexpr size_t kMaxBytes = size_t(1) << 20;  // larger blocks go back at once

    // A kept block of exactly this size, or nullptr.
    static void* Take(size_t bytes);
    // Keeps the block for reuse; false when it is not kept (too large, no free slot, or the
    // thread is ending) and the caller frees it.
    static bool Keep(void* block, size_t bytes);
};

template <class T>
struct RecyclingAllocator {
    using value_type = T;

    RecyclingAllocator() = default;
    template <class U>
    RecyclingAllocator(const RecyclingAllocator<U>&) {}

    T* allocate(size_t n) {
        if (void* p = RecycledBlocks::Take(n * sizeof(T))) return static_cast<T*>(p);
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) {
        if (!RecycledBlocks::Keep(p, n * sizeof(T))) ::operator delete(p);
    }
    // Default-initialisation: plain numbers keep whatever the memory holds.
    template <class U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const RecyclingAllocator&, const RecyclingAllocator&) { return true; }
};

}  // namespace veltrane::jpeg
