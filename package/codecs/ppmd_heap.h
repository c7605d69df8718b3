// The memory of the PPMd model: one block of the size the stream names, holding the text area (the
// symbols seen, growing upwards from the bottom) and the units area above it, handed out in units of
// 12 bytes. Contexts are taken from the top, statistics from the bottom of the free gap; freed blocks go
// to lists by size class and are glued together now and then. The exact order in which blocks are handed
// out matters: the compressor made the same choices, and when memory runs out it rebuilds its model at
// that point, so the decoder must run out at the same symbol.
//
// Everything in the block is addressed by 32-bit offsets from its start; offset 0 is no object.
#pragma once

#include <cstdint>
#include <cstring>

namespace tarrow::ppmd {

using Ref = uint32_t;

constexpr unsigned kUnitSize = 12;
constexpr unsigned kIndexes = 38;  // size classes of 1, 2, 3, 4, 6, 8, ... 128 units

class Heap {
public:
    Heap();
    ~Heap();
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;

    // Reserves size bytes; false when the memory is not there. Pages are touched only as the model grows.
    bool allocate(uint32_t size);
    // Empties the block: the text area starts at its bottom, the units area is the upper 7/8.
    void reset();

    uint8_t* bytes() const { return base_; }
    uint32_t size() const { return size_; }

    // Size classes.
    unsigned unitsOf(unsigned index) const { return indexToUnits_[index]; }
    unsigned indexOf(unsigned units) const { return unitsToIndex_[units - 1]; }

    Ref allocUnits(unsigned index);  // a block of class index, or 0 when memory is exhausted
    Ref allocContext();              // one unit, taken from the top first
    void insertNode(Ref node, unsigned index);
    void freeUnits(Ref ptr, unsigned units) { insertNode(ptr, indexOf(units)); }
    void specialFreeUnit(Ref ptr);  // one unit; at the bottom of the units area it returns to the text
    Ref shrinkUnits(Ref old, unsigned oldUnits, unsigned newUnits);
    Ref moveUnitsUp(Ref old, unsigned units);  // moves a block near the text area to a free one higher up
    void expandTextArea();                     // returns free blocks at the bottom of the units area to the text
    uint32_t usedMemory() const;

    uint32_t alignOffset = 0;    // start of the text area
    Ref text = 0;                // next free byte of the text area
    Ref unitsStart = 0;          // bottom of the units area
    Ref loUnit = 0, hiUnit = 0;  // the gap never handed out yet
    uint32_t glueCount = 0;
    uint32_t stamps[kIndexes] = {};  // number of free blocks in each list

private:
    uint32_t load32(Ref at) const {
        uint32_t v;
        std::memcpy(&v, base_ + at, 4);
        return v;
    }
    void store32(Ref at, uint32_t v) { std::memcpy(base_ + at, &v, 4); }
    // A free block: a stamp marking it free, the next block of its list, its size in units.
    uint32_t stamp(Ref n) const { return load32(n); }
    Ref next(Ref n) const { return load32(n + 4); }
    uint32_t nu(Ref n) const { return load32(n + 8); }

    Ref removeNode(unsigned index);
    void splitBlock(Ref ptr, unsigned oldIndex, unsigned newIndex);
    void glueFreeBlocks();
    Ref allocUnitsRare(unsigned index);

    uint8_t* base_ = nullptr;
    uint32_t size_ = 0;
    Ref freeList_[kIndexes] = {};
    uint8_t indexToUnits_[kIndexes];
    uint8_t unitsToIndex_[128];
};

}  // namespace tarrow::ppmd
