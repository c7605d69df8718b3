// Helpers for the decoder tests: a sink that collects output, zlib as the reference compressor, a bit
// writer for hand-made deflate streams, and a reader of local headers of corpus archives.
#pragma once

#include "decode_io.h"

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tarrow::test {

using Bytes = std::vector<uint8_t>;

struct CollectSink : OutputSink {
    Bytes data;
    std::vector<size_t> blocks;
    bool write(std::span<const uint8_t> block) override {
        data.insert(data.end(), block.begin(), block.end());
        blocks.push_back(block.size());
        return true;
    }
};

// Text-like and noisy data with runs, so that a compressor uses literals, short and long matches.
inline Bytes sampleData(size_t size, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    static const char* words[] = {"skin ", "main.bmp ", "equalizer ", "playlist ", "\r\n", "0123456789 "};
    Bytes out;
    while (out.size() < size) {
        switch (rng() % 4) {
        case 0: out.insert(out.end(), 1 + rng() % 300, uint8_t(rng())); break;
        case 1:
            for (int i = rng() % 40; i >= 0; --i) out.push_back(uint8_t(rng()));
            break;
        default:
            for (int i = rng() % 30; i >= 0; --i) {
                std::string w = words[rng() % 6];
                out.insert(out.end(), w.begin(), w.end());
            }
        }
    }
    out.resize(size);
    return out;
}

// Raw deflate data (no zlib wrapper), as ZIP stores it.
inline Bytes zlibDeflate(const Bytes& input, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&z, uLong(input.size())) + 16);
    z.next_in = const_cast<uint8_t*>(input.data());
    z.avail_in = uInt(input.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Writes bits least significant first, and Huffman codes most significant bit first, as deflate does.
struct BitWriter {
    Bytes out;
    uint64_t acc = 0;
    unsigned n = 0;
    void bits(uint32_t v, unsigned count) {
        acc |= uint64_t(v) << n;
        n += count;
        while (n >= 8) out.push_back(uint8_t(acc)), acc >>= 8, n -= 8;
    }
    void code(uint32_t c, unsigned len) {
        for (unsigned i = len; i-- > 0;) bits((c >> i) & 1, 1);
    }
    Bytes finish() {
        if (n) out.push_back(uint8_t(acc));
        acc = 0, n = 0;
        return out;
    }
    // Fixed-code symbols.
    void fixedLiteral(unsigned sym) {
        if (sym < 144) code(0x30 + sym, 8);
        else if (sym < 256) code(0x190 + sym - 144, 9);
        else if (sym < 280) code(sym - 256, 7);
        else code(0xC0 + sym - 280, 8);
    }
};

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline std::filesystem::path corpusZip(const std::string& name) {
    return std::filesystem::path(VELTRANE_SHARED_DIR) / "corpus" / "zip" / name;
}

// A member found by walking the local headers from the start of an archive.
struct LocalMember {
    std::string name;
    uint16_t flags = 0, method = 0, time = 0;
    uint32_t crc = 0, csize = 0, size = 0;
    Bytes data;  // the compressed bytes (with the encryption header, when encrypted)
};

inline uint32_t le(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

// Works for archives whose local headers carry the sizes (no data descriptor).
inline std::vector<LocalMember> localMembers(const Bytes& zip) {
    std::vector<LocalMember> members;
    size_t at = 0;
    while (at + 30 <= zip.size() && le(zip, at, 4) == 0x04034B50) {
        LocalMember m;
        m.flags = uint16_t(le(zip, at + 6, 2));
        m.method = uint16_t(le(zip, at + 8, 2));
        m.time = uint16_t(le(zip, at + 10, 2));
        m.crc = le(zip, at + 14, 4);
        m.csize = le(zip, at + 18, 4);
        m.size = le(zip, at + 22, 4);
        size_t nameLen = le(zip, at + 26, 2), extraLen = le(zip, at + 28, 2);
        m.name.assign(zip.begin() + at + 30, zip.begin() + at + 30 + nameLen);
        size_t data = at + 30 + nameLen + extraLen;
        if (data + m.csize > zip.size()) break;
        m.data.assign(zip.begin() + data, zip.begin() + data + m.csize);
        members.push_back(std::move(m));
        at = data + m.csize;
    }
    return members;
}

}  // namespace tarrow::test
