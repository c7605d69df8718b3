// Shared helpers of the fuzz targets: reading settings off the front of an input, and sinks that
// collect or count what a decoder hands on.
#pragma once

#include "decode_io.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace fuzz {

// Hands out the input's leading bytes as numbers (zeros once it runs out); Rest() is what is left.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint32_t Next(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | (m_pos < m_size ? m_data[m_pos++] : 0);
        return v;
    }
    std::span<const uint8_t> Rest() const { return {m_data + m_pos, m_size - m_pos}; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

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
