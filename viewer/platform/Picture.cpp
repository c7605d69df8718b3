// BMP reading and writing. A BMP file is a 14-byte file header ("BM", file size, two reserved words,
// offset of the pixel data), an info header whose first 32-bit word is its own size (12 for the old
// core header, 40 for the info header, 52/56 with colour masks, 108/124 with colour-space data;
// 64 for the second OS/2 header), optional colour masks, a colour table and the pixel rows.
#include "platform/Picture.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veltrane {

namespace {

constexpr uint32_t kFileHeaderSize = 14;

enum Compression : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kAlphaBitFields = 6,
};

uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Write16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Write32(uint8_t* p, uint32_t v) {
    Write16(p, v);
    Write16(p + 2, v >> 16);
}

// The header fields every version has in common, normalised.
struct BmpInfo {
    int32_t width = 0;
    int32_t height = 0;  // always positive; topDown says how rows are stored
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t colorsUsed = 0;
    bool core = false;              // 3-byte colour table entries
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    std::size_t tableOffset = 0;
};

// A colour channel described by a bit mask of a 16- or 32-bit pixel.
struct Channel {
    int shift = 0;
    int bits = 0;

    static bool FromMask(uint32_t mask, Channel& out) {
        if (mask == 0) {
            out = Channel{};
            return true;
        }
        out.shift = std::countr_zero(mask);
        out.bits = std::popcount(mask);
        // The bits of a mask must be contiguous.
        return (mask >> out.shift) == (out.bits == 32 ? ~0u : (1u << out.bits) - 1);
    }

    // Scales the channel to 8 bits: narrower channels repeat their bits (so full scale stays 255),
    // wider ones keep their top eight.
    uint8_t Extract(uint32_t pixel) const {
        if (bits == 0) return 0;
        uint32_t v = (pixel >> shift) & (bits == 32 ? ~0u : (1u << bits) - 1);
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
        return uint8_t(out >> (((8 + bits - 1) / bits) * bits - 8));
    }
};

bool ParseHeaders(std::span<const uint8_t> file, BmpInfo& info) {
    if (file.size() < kFileHeaderSize + 12 || file[0] != 'B' || file[1] != 'M') return false;
    const uint8_t* h = file.data() + kFileHeaderSize;
    const uint32_t headerSize = Read32(h);
    if (headerSize == 12) {
        info.core = true;
        info.width = Read16(h + 4);
        info.height = Read16(h + 6);
        info.bitCount = Read16(h + 10);
        info.tableOffset = kFileHeaderSize + 12;
        return info.width > 0 && info.height > 0;
    }
    const bool known = headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
                       headerSize == 108 || headerSize == 124;
    if (!known || file.size() < kFileHeaderSize + headerSize) return false;
    const int32_t width = int32_t(Read32(h + 4));
    const int32_t height = int32_t(Read32(h + 8));
    if (width <= 0 || height == 0 || height == std::numeric_limits<int32_t>::min()) return false;
    info.width = width;
    info.topDown = height < 0;
    info.height = info.topDown ? -height : height;
    info.bitCount = Read16(h + 14);
    info.compression = Read32(h + 16);
    info.colorsUsed = Read32(h + 32);
    info.tableOffset = kFileHeaderSize + headerSize;
    // The second OS/2 header numbers its compressions differently beyond RLE4 (Huffman, RLE24).
    if (headerSize == 64 && info.compression > kRle4) return false;
    if (info.compression == kBitFields || info.compression == kAlphaBitFields) {
        if (headerSize >= 52) {
            for (int i = 0; i < 3; ++i) info.masks[i] = Read32(h + 40 + 4 * i);
        } else {
            // The info header keeps its masks right after itself, ahead of any colour table.
            const std::size_t count = info.compression == kAlphaBitFields ? 4 : 3;
            if (file.size() < info.tableOffset + 4 * count) return false;
            for (int i = 0; i < 3; ++i) info.masks[i] = Read32(file.data() + info.tableOffset + 4 * i);
            info.tableOffset += 4 * count;
        }
    }
    return true;
}

// Which depth and compression pairs make sense, and the depth they load as.
int TargetDepth(const BmpInfo& info) {
    switch (info.compression) {
    case kRgb:
        switch (info.bitCount) {
        case 1:
        case 4:
        case 8:
        case 24:
        case 32: return info.bitCount;
        case 16: return 24;
        default: return 0;
        }
    case kRle8: return info.bitCount == 8 ? 8 : 0;
    case kRle4: return info.bitCount == 4 ? 4 : 0;
    case kBitFields:
    case kAlphaBitFields:
        if (info.core) return 0;
        return info.bitCount == 16 ? 24 : info.bitCount == 32 ? 32 : 0;
    default: return 0;
    }
}

// The colour table of a paletted file. Entries the file leaves out stay black, so pixel indices
// beyond a short table read as black.
void ReadColorTable(std::span<const uint8_t> file, const BmpInfo& info, uint32_t dataOffset, Dib& dib) {
    const std::size_t maxEntries = std::size_t(1) << info.bitCount;
    std::size_t entries = info.colorsUsed != 0 && info.colorsUsed < maxEntries ? info.colorsUsed : maxEntries;
    const std::size_t entrySize = info.core ? 3 : 4;
    // The pixel data offset, when it lies between table and file end, marks where a short table stops.
    std::size_t end = file.size();
    if (dataOffset >= info.tableOffset && dataOffset <= file.size()) end = dataOffset;
    entries = std::min(entries, (end - std::min(end, info.tableOffset)) / entrySize);
    RgbQuad table[256] = {};
    for (std::size_t i = 0; i < entries; ++i) {
        const uint8_t* e = file.data() + info.tableOffset + i * entrySize;
        table[i] = RgbQuad{e[0], e[1], e[2], 0};
    }
    dib.SetColors(table, int(maxEntries));
}

// Scan line r as the file stores it: the bottom line first, or the top line first for top-down files.
uint8_t* StoredRow(Dib& dib, const BmpInfo& info, int32_t r) {
    return dib.Bits() + std::size_t(info.topDown ? dib.Height() - 1 - r : r) * std::size_t(dib.Stride());
}

bool DecodeUncompressed(std::span<const uint8_t> data, const BmpInfo& info, Dib& dib) {
    // File lines are padded to whole 32-bit words at every depth.
    const std::size_t stride = (std::size_t(info.width) * std::size_t(info.bitCount) + 31) / 32 * 4;
    // The last line may lack its padding; anything shorter is a truncated file.
    const std::size_t lastLine = (std::size_t(info.width) * std::size_t(info.bitCount) + 7) / 8;
    if (data.size() < stride * std::size_t(info.height - 1) + lastLine) return false;

    // The bitmap was made without zeroing: every byte of a line is written, its padding as zeros.
    const std::size_t lineBytes = std::size_t(dib.Stride());
    const bool converted = info.bitCount == 16 || info.compression != kRgb;
    if (!converted) {
        for (int32_t r = 0; r < info.height; ++r) {
            uint8_t* out = StoredRow(dib, info, r);
            std::memcpy(out, data.data() + std::size_t(r) * stride, lastLine);
            std::memset(out + lastLine, 0, lineBytes - lastLine);
        }
        return true;
    }
    uint32_t masks[3] = {info.masks[0], info.masks[1], info.masks[2]};
    if (info.compression == kRgb) {  // 16 bits without masks: five bits per channel
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    Channel red, green, blue;
    if (!Channel::FromMask(masks[0], red) || !Channel::FromMask(masks[1], green) || !Channel::FromMask(masks[2], blue))
        return false;
    const int outBytes = dib.BitCount() / 8;
    for (int32_t r = 0; r < info.height; ++r) {
        const uint8_t* in = data.data() + std::size_t(r) * stride;
        uint8_t* out = StoredRow(dib, info, r);
        uint8_t* const end = out + lineBytes;
        for (int32_t x = 0; x < info.width; ++x, out += outBytes) {
            const uint32_t pixel =
                info.bitCount == 16 ? Read16(in + 2 * std::size_t(x)) : Read32(in + 4 * std::size_t(x));
            out[0] = blue.Extract(pixel);
            out[1] = green.Extract(pixel);
            out[2] = red.Extract(pixel);
            if (outBytes == 4) out[3] = 0;
        }
        std::memset(out, 0, std::size_t(end - out));
    }
    return true;
}

// Run-length data: a count byte and a value byte. A count above zero repeats the value (RLE4: the
// value's two nibbles alternate). A zero count is an escape: 0 ends the line, 1 ends the bitmap,
// 2 moves the position right and up by the two bytes that follow (up means further into the
// file's line order), 3 and more copy that many literal pixels, padded to a 16-bit boundary.
// Pixels past the end of a line are dropped; moves past the last line end the bitmap.
bool DecodeRle(std::span<const uint8_t> data, const BmpInfo& info, Dib& dib) {
    const bool four = info.compression == kRle4;
    const int32_t width = info.width, height = info.height;
    int32_t x = 0, y = 0;
    std::size_t pos = 0;
    uint8_t* row = StoredRow(dib, info, 0);
    auto put = [&](int nibble) {  // one 4-bit pixel
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | nibble) : uint8_t((b & 0x0F) | (nibble << 4));
        ++x;
    };
    auto toLine = [&](int32_t line) {
        y = line;
        if (y < height) row = StoredRow(dib, info, y);
    };
    while (y < height) {
        if (data.size() - pos < 2) return false;  // the data stops before its end marker
        const uint8_t count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            if (!four) {  // whole runs at once: this is most of a skin's pixels
                const int32_t n = std::clamp<int32_t>(width - x, 0, count);
                std::memset(row + x, value, std::size_t(n));
                x += n;
                continue;
            }
            for (int i = 0; i < count && x < width; ++i) put((i & 1) ? value & 0x0F : value >> 4);
            continue;
        }
        switch (value) {
        case 0:
            x = 0;
            toLine(y + 1);
            break;
        case 1: return true;
        case 2:
            if (data.size() - pos < 2) return false;
            x += data[pos];
            toLine(y + data[pos + 1]);
            pos += 2;
            break;
        default: {
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            if (data.size() - pos < bytes) return false;
            if (!four) {
                const int32_t n = std::clamp<int32_t>(width - x, 0, value);
                std::memcpy(row + x, data.data() + pos, std::size_t(n));
                x += n;
            } else {
                for (int i = 0; i < value && x < width; ++i)
                    put((i & 1) ? data[pos + i / 2] & 0x0F : data[pos + i / 2] >> 4);
            }
            pos += (bytes + 1) & ~std::size_t(1);
            pos = std::min(pos, data.size());
            break;
        }
        }
    }
    return true;
}

}  // namespace

bool LoadPictureFromMemory(std::span<const uint8_t> file, Dib& out, int64_t maxPixels) {
    BmpInfo info;
    if (!ParseHeaders(file, info) || int64_t(info.width) * info.height > maxPixels) return false;
    const int depth = TargetDepth(info);
    if (depth == 0) return false;
    const uint32_t dataOffset = Read32(file.data() + 10);
    if (dataOffset < info.tableOffset || dataOffset >= file.size()) return false;

    // Run-length data may skip pixels, which stay zero; uncompressed data writes every one.
    const bool rle = info.compression == kRle8 || info.compression == kRle4;
    Dib dib;
    if (!(rle ? dib.Create(info.width, info.height, depth) : dib.CreateForOverwrite(info.width, info.height, depth)))
        return false;
    if (depth <= 8) ReadColorTable(file, info, dataOffset, dib);
    const std::span<const uint8_t> data = file.subspan(dataOffset);
    const bool ok = rle ? DecodeRle(data, info, dib) : DecodeUncompressed(data, info, dib);
    if (!ok) return false;
    out = std::move(dib);
    return true;
}

bool LoadPicture(const std::string& path, Dib& out, int64_t maxPixels) {
    // Non-blocking, so a pipe or device at the path cannot hang the open; only regular files load.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    std::vector<uint8_t> bytes;
    bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
                uint64_t(info.st_size) <= MaxPictureFileSize(maxPixels);
    if (read) {
        bytes.resize(std::size_t(info.st_size));
        std::size_t done = 0;
        while (read && done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) read = false;  // shrunk meanwhile, or a read error
            else done += std::size_t(n);
        }
    }
    ::close(fd);
    return read && LoadPictureFromMemory(bytes, out, maxPixels);
}

bool LoadPictureFile(std::span<const uint8_t> contents, Dib& out, int64_t maxPixels) {
    return !contents.empty() && contents.size() <= MaxPictureFileSize(maxPixels) &&
           LoadPictureFromMemory(contents, out, maxPixels);
}

std::vector<uint8_t> EncodePicture(const Dib& picture) {
    if (picture.Empty()) return {};
    const int32_t width = picture.Width(), height = picture.Height();
    const std::size_t stride = std::size_t(BytesPerScanLine(width, 24));
    const std::size_t headers = kFileHeaderSize + 40;
    const std::size_t total = headers + stride * std::size_t(height);
    if (total > std::numeric_limits<uint32_t>::max()) return {};

    std::vector<uint8_t> file(total, 0);
    file[0] = 'B';
    file[1] = 'M';
    Write32(&file[2], uint32_t(total));
    Write32(&file[10], uint32_t(headers));
    uint8_t* h = &file[kFileHeaderSize];
    Write32(h, 40);
    Write32(h + 4, uint32_t(width));
    Write32(h + 8, uint32_t(height));
    Write16(h + 12, 1);
    Write16(h + 14, 24);
    Write32(h + 20, uint32_t(stride * std::size_t(height)));
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* line = &file[headers + std::size_t(r) * stride];
        const int32_t y = height - 1 - r;  // the file stores the bottom line first
        if (picture.BitCount() == 24) {
            std::memcpy(line, picture.Row(y), std::size_t(width) * 3);
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            const RgbQuad c = picture.PixelColor(x, y);
            line[3 * x] = c.blue;
            line[3 * x + 1] = c.green;
            line[3 * x + 2] = c.red;
        }
    }
    return file;
}

bool SavePicture(const Dib& picture, const std::string& path) {
    const std::vector<uint8_t> file = EncodePicture(picture);
    if (file.empty()) return false;
    std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
    if (!outFile) return false;
    outFile.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    outFile.close();
    return bool(outFile);
}

}  // namespace veltrane
