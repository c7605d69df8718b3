// Shared helper of the fuzz targets: reading settings off the front of an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

}  // namespace fuzz
