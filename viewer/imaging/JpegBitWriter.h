// The bit writer of the entropy-coded data: codes are packed from the most significant bit of
// each byte, every 0xFF byte is followed by a stuffed 0x00 (so that no marker appears inside the
// data), and the last byte is padded with 1-bits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace veltrane::jpeg {

class JpegBitWriter {
public:
    // Most bytes one Put can produce: 32 bits, each of the four bytes perhaps stuffed.
    static constexpr size_t kMaxPutBytes = 8;

    // Writes into buffer from index pos on; the buffer grows as Reserve asks. The writer is a
    // small value: coders copy it into a local for a run of symbols and back, so that its state
    // stays in registers while bytes are stored.
    JpegBitWriter(std::vector<uint8_t>& buffer, size_t pos) : m_buffer(&buffer), m_out(buffer.data() + pos) {}

    // Makes sure that the next bytes Put may produce have room.
    void Reserve(size_t bytes) {
        const size_t pos = Position();
        if (m_buffer->size() - pos < bytes) {
            m_buffer->resize(std::max(m_buffer->size() * 2, pos + bytes));
            m_out = m_buffer->data() + pos;
        }
    }

    // Appends the low length bits of bits (0 to 32 bits, nothing set above them).
    void Put(uint32_t bits, int length) {
        m_acc = (m_acc << length) | bits;
        m_count += length;
        if (m_count >= 32) {
            m_count -= 32;
            Emit4(uint32_t(m_acc >> m_count));
        }
    }

    // Pads the last byte with 1-bits and writes out everything pending.
    void Flush() {
        Reserve(16);
        const int pad = (8 - m_count % 8) % 8;
        m_acc = (m_acc << pad) | ((uint64_t(1) << pad) - 1);
        m_count += pad;
        while (m_count >= 8) {
            m_count -= 8;
            EmitByte(uint8_t(m_acc >> m_count));
        }
    }

    size_t Position() const { return size_t(m_out - m_buffer->data()); }

private:
    void EmitByte(uint8_t b) {
        *m_out++ = b;
        if (b == 0xFF) *m_out++ = 0x00;
    }
    void Emit4(uint32_t w) {
        // A byte of w is 0xFF exactly when that byte of ~w is zero.
        const uint32_t inverted = ~w;
        if (((inverted - 0x01010101u) & w & 0x80808080u) == 0) {
            const uint8_t bytes[4] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w)};
            std::memcpy(m_out, bytes, 4);
            m_out += 4;
            return;
        }
        EmitByte(uint8_t(w >> 24));
        EmitByte(uint8_t(w >> 16));
        EmitByte(uint8_t(w >> 8));
        EmitByte(uint8_t(w));
    }

    std::vector<uint8_t>* m_buffer;
    uint8_t* m_out;
    uint64_t m_acc = 0;  // pending bits are the low m_count bits
    int m_count = 0;
};

}  // namespace veltrane::jpeg
