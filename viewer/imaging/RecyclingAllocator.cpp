#include "imaging/RecyclingAllocator.h"

namespace veltrane::jpeg {

namespace {

struct Slots {
    void* block[RecycledBlocks::kSlots] = {};
    size_t bytes[RecycledBlocks::kSlots] = {};
    ~Slots();
};

// Set once the thread's slots are destroyed: arrays freed later in the thread's exit (by other
// thread-local or static objects) go straight back to the heap.
thread_local bool t_ended = false;
thread_local Slots t_slots;

Slots::~Slots() {
    t_ended = true;
    for (void* b : block) ::operator delete(b);
}

}  // namespace

void* RecycledBlocks::Take(size_t bytes) {
    if (t_ended) return nullptr;
    for (int i = 0; i < kSlots; ++i)
        if (t_slots.block[i] != nullptr && t_slots.bytes[i] == bytes) {
            void* b = t_slots.block[i];
            t_slots.block[i] = nullptr;
            return b;
        }
    return nullptr;
}

bool RecycledBlocks::Keep(void* block, size_t bytes) {
    if (t_ended || bytes > kMaxBytes) return false;
    for (int i = 0; i < kSlots; ++i)
        if (t_slots.block[i] == nullptr) {
            t_slots.block[i] = block;
            t_slots.bytes[i] = bytes;
            return true;
        }
    return false;
}

}  // namespace veltrane::jpeg
