// The BMP loader over arbitrary bytes: it either fails and leaves the target alone, or gives a
// bitmap whose size, depth and pixel store agree with each other.
#include "platform/Picture.h"

#include <cstdint>
#include <cstdlib>

using namespace veltrane;

namespace {

// Headers that ask for tens of millions of pixels are legal up to Dib's bounds, and the unit tests
// cover them; here they would only slow every run down to the time of zeroing the bitmap.
bool Huge(const uint8_t* data, size_t size) {
    if (size < 26 || data[14] == 12) return false;
    auto read32 = [&](size_t at) {
        return int64_t(int32_t(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                               uint32_t(data[at + 3]) << 24));
    };
    return std::abs(read32(18)) * std::abs(read32(22)) > (int64_t(1) << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (Huge(data, size)) return 0;
    Dib dib(1, 1, 24);
    if (!LoadPictureFromMemory({data, size}, dib)) {
        if (dib.Width() != 1 || dib.Height() != 1 || dib.BitCount() != 24) std::abort();
        return 0;
    }
    const int bits = dib.BitCount();
    if (dib.Width() <= 0 || dib.Height() <= 0 || dib.Width() > Dib::kMaxSide || dib.Height() > Dib::kMaxSide)
        std::abort();
    if ((bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) ||
        dib.SizeInBytes() != size_t(dib.Stride()) * size_t(dib.Height()))
        std::abort();
    // Every pixel reads back as a colour.
    for (int32_t y = 0; y < dib.Height(); y += 1 + dib.Height() / 16)
        for (int32_t x = 0; x < dib.Width(); x += 1 + dib.Width() / 16)
            if (dib.GetPixel(x, y) < 0) std::abort();
    return 0;
}
