#include "ppmd_heap.h"

#include <cstdlib>

namespace tarrow::ppmd {

namespace {
constexpr uint32_t kEmptyNode = 0xFFFFFFFF;
constexpr uint32_t kGluePeriod = 1 << 13;  // failed allocations from the text area before the next gluing
}  // namespace

Heap::Heap() {
    // Classes of 1-4 units step by one, then by two, three and four units up to 128.
    unsigned k = 0;
    for (unsigned i = 0; i < kIndexes; ++i) {
        unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
        do unitsToIndex_[k++] = uint8_t(i);
        while (--step);
        indexToUnits_[i] = uint8_t(k);
    }
}

Heap::~Heap() { std::free(base_); }

bool Heap::allocate(uint32_t size) {
    std::free(base_);
    // The text area starts so that the top of the block, where units are counted from, is 4-aligned.
    alignOffset = 4 - (size & 3);
    // calloc maps large blocks lazily: only the pages the model reaches are ever touched. The slack
    // keeps the free-block guard written at the top of the gap inside the block.
    base_ = static_cast<uint8_t*>(std::calloc(size_t(alignOffset) + size + kUnitSize, 1));
    size_ = base_ ? size : 0;
    return base_ != nullptr;
}

void Heap::reset() {
    std::memset(freeList_, 0, sizeof freeList_);
    std::memset(stamps, 0, sizeof stamps);
    text = alignOffset;
    hiUnit = text + size_;
    loUnit = unitsStart = hiUnit - size_ / 8 / kUnitSize * 7 * kUnitSize;
    glueCount = 0;
}

void Heap::insertNode(Ref node, unsigned index) {
    store32(node, kEmptyNode);
    store32(node + 4, freeList_[index]);
    store32(node + 8, indexToUnits_[index]);
    freeList_[index] = node;
    ++stamps[index];
}

Ref Heap::removeNode(unsigned index) {
    Ref node = freeList_[index];
    freeList_[index] = next(node);
    --stamps[index];
    return node;
}

// Gives the part of a block of class oldIndex beyond the first class-newIndex units back to the lists.
void Heap::splitBlock(Ref ptr, unsigned oldIndex, unsigned newIndex) {
    unsigned rest = indexToUnits_[oldIndex] - indexToUnits_[newIndex];
    ptr += indexToUnits_[newIndex] * kUnitSize;
    unsigned i = indexOf(rest);
    if (indexToUnits_[i] != rest) {
        unsigned k = indexToUnits_[--i];
        insertNode(ptr + k * kUnitSize, rest - k - 1);
    }
    insertNode(ptr, i);
}

// Merges free blocks that lie next to each other and sorts them into the lists again.
void Heap::glueFreeBlocks() {
    glueCount = kGluePeriod;
    std::memset(stamps, 0, sizeof stamps);
    // The top unit always holds the root context, so only the gap needs a guard that is not free.
    if (loUnit != hiUnit) store32(loUnit, 0);

    // Chain every free block into one list through their `next` fields, absorbing free neighbours.
    Ref head = 0;
    Ref prev = 0;  // block whose `next` field ends the chain; 0: the head
    auto link = [&](Ref n) {
        if (prev) store32(prev + 4, n);
        else head = n;
        prev = n;
    };
    for (unsigned i = 0; i < kIndexes; ++i) {
        Ref n = freeList_[i];
        freeList_[i] = 0;
        while (n != 0) {
            if (nu(n) != 0) {
                link(n);
                Ref n2;
                while (stamp(n2 = n + nu(n) * kUnitSize) == kEmptyNode) {
                    store32(n + 8, nu(n) + nu(n2));
                    store32(n2 + 8, 0);
                }
            }
            n = next(n);
        }
    }
    if (prev) store32(prev + 4, 0);
    else head = 0;

    while (head != 0) {
        Ref n = head;
        head = next(n);
        unsigned units = nu(n);
        if (units == 0) continue;
        for (; units > 128; units -= 128, n += 128 * kUnitSize) insertNode(n, kIndexes - 1);
        unsigned i = indexOf(units);
        if (indexToUnits_[i] != units) {
            unsigned k = indexToUnits_[--i];
            insertNode(n + k * kUnitSize, units - k - 1);
        }
        insertNode(n, i);
    }
}

Ref Heap::allocUnitsRare(unsigned index) {
    if (glueCount == 0) {
        glueFreeBlocks();
        if (freeList_[index] != 0) return removeNode(index);
    }
    unsigned i = index;
    do {
        if (++i == kIndexes) {
            // Nothing larger is free: take the units from the top of the text area.
            uint32_t bytes = indexToUnits_[index] * kUnitSize;
            --glueCount;
            if (unitsStart - text > bytes) return unitsStart -= bytes;
            return 0;
        }
    } while (freeList_[i] == 0);
    Ref block = removeNode(i);
    splitBlock(block, i, index);
    return block;
}

Ref Heap::allocUnits(unsigned index) {
    if (freeList_[index] != 0) return removeNode(index);
    uint32_t bytes = indexToUnits_[index] * kUnitSize;
    if (bytes <= hiUnit - loUnit) {
        Ref block = loUnit;
        loUnit += bytes;
        return block;
    }
    return allocUnitsRare(index);
}

Ref Heap::allocContext() {
    if (hiUnit != loUnit) return hiUnit -= kUnitSize;
    if (freeList_[0] != 0) return removeNode(0);
    return allocUnitsRare(0);
}

void Heap::specialFreeUnit(Ref ptr) {
    if (ptr != unitsStart) insertNode(ptr, 0);
    else unitsStart += kUnitSize;
}

Ref Heap::shrinkUnits(Ref old, unsigned oldUnits, unsigned newUnits) {
    unsigned i0 = indexOf(oldUnits), i1 = indexOf(newUnits);
    if (i0 == i1) return old;
    if (freeList_[i1] != 0) {
        Ref block = removeNode(i1);
        std::memcpy(base_ + block, base_ + old, newUnits * kUnitSize);
        insertNode(old, i0);
        return block;
    }
    splitBlock(old, i0, i1);
    return old;
}

Ref Heap::moveUnitsUp(Ref old, unsigned units) {
    unsigned index = indexOf(units);
    if (old > unitsStart + 16 * 1024 || old > freeList_[index]) return old;
    Ref block = removeNode(index);
    std::memcpy(base_ + block, base_ + old, units * kUnitSize);
    if (old != unitsStart) insertNode(old, index);
    else unitsStart += indexToUnits_[index] * kUnitSize;
    return block;
}

void Heap::expandTextArea() {
    uint32_t count[kIndexes] = {};
    if (loUnit != hiUnit) store32(loUnit, 0);
    // Free blocks at the bottom of the units area join the text area; they are marked so that they can
    // be taken off their lists below.
    Ref n = unitsStart;
    for (; stamp(n) == kEmptyNode && nu(n) != 0; n += nu(n) * kUnitSize) {
        store32(n, 0);
        ++count[indexOf(nu(n))];
    }
    unitsStart = n;

    for (unsigned i = 0; i < kIndexes; ++i) {
        Ref link = 0;  // block whose `next` field is examined; 0: the list head
        auto target = [&] { return link ? next(link) : freeList_[i]; };
        auto setTarget = [&](Ref v) {
            if (link) store32(link + 4, v);
            else freeList_[i] = v;
        };
        while (count[i] != 0) {
            Ref node = target();
            if (node == 0) break;  // cannot happen: every marked block is on its list
            while (stamp(node) == 0) {
                setTarget(next(node));
                node = target();
                --stamps[i];
                if (--count[i] == 0 || node == 0) break;
            }
            if (node == 0) break;
            link = node;
        }
    }
}

uint32_t Heap::usedMemory() const {
    uint32_t units = 0;
    for (unsigned i = 0; i < kIndexes; ++i) units += stamps[i] * indexToUnits_[i];
    return size_ - (hiUnit - loUnit) - (unitsStart - text) - units * kUnitSize;
}

}  // namespace tarrow::ppmd
