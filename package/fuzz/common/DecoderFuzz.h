// Shared helpers of the decoder fuzz targets: sinks that collect or count what a decoder hands on,
// and the chunking of its source.
#pragma once

#include "common/FuzzInput.h"
#include "decode_io.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace fuzz {

// Keeps everything a decoder writes, up to a cap that stands for the most any member may declare.
class CollectingSink : public tarrow::OutputSink {
public:
    bool write(std::span<const uint8_t> block) override {
        bytes.insert(bytes.end(), block.begin(), block.end());
        return true;
    }
    std::vector<uint8_t> bytes;
};

// Counts bytes, and refuses further blocks after stopAfter of them, to exercise a sink that fails.
class CountingSink : public tarrow::OutputSink {
public:
    explicit CountingSink(uint32_t stopAfter) : m_stopAfter(stopAfter) {}
    bool write(std::span<const uint8_t> block) override {
        if (m_refused) std::abort();  // a refused sink must not be written again
        total += block.size();
        if (total > m_stopAfter) m_refused = true;
        return !m_refused;
    }
    uint64_t total = 0;

private:
    uint32_t m_stopAfter;
    bool m_refused = false;
};

// Chunk sizes for a source: mostly whole, sometimes tiny runs that split codes between chunks.
inline size_t ChunkSize(uint32_t selector) {
    switch (selector & 3) {
    case 0: return SIZE_MAX;
    case 1: return 1;
    case 2: return 1 + (selector >> 2) % 7;
    default: return 1 + (selector >> 2) * 61;
    }
}

}  // namespace fuzz
