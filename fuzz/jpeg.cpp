// The JPEG encoder on small random pictures of every depth, with random sampling factors, quality,
// comment and source rectangle. Every file it writes must decode with libjpeg-turbo to the
// rectangle's size and the chosen number of components.
//
// Input: depth, width, height, rectangle offsets, quality, sampling factors, comment length, then
// the comment, the colour table and the pixels (zeros once the input runs out).
#include "common/FuzzInput.h"
#include "imaging/cJpeg.h"
#include "../tests/viewer/imaging/JpegOracle.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

using namespace veltrane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    static const int kDepths[] = {1, 4, 8, 24, 32};
    const int bits = kDepths[in.Next(1) % 5];
    Dib picture(int32_t(1 + in.Next(1) % 48), int32_t(1 + in.Next(1) % 48), bits);
    // The rectangle mostly lies inside the picture and sometimes reaches past its edges.
    const int32_t left = int32_t(in.Next(1) % 12) - 2, top = int32_t(in.Next(1) % 12) - 2;
    const int32_t width = int32_t(1 + in.Next(1) % 56), height = int32_t(1 + in.Next(1) % 56);
    const int32_t quality = int32_t(in.Next(1) % 110);
    const uint32_t sampling = in.Next(3);
    const bool grey = sampling & 1;
    int32_t factors[6];
    for (int i = 0; i < 6; ++i) factors[i] = int32_t(1 + (sampling >> (1 + 3 * i)) % 4);
    std::string comment(in.Next(1) % 40, ' ');
    for (char& c : comment) c = char(in.Next(1));
    for (int i = 0; i < picture.ColorCount(); ++i)
        picture.Colors()[i] = RgbQuad{uint8_t(in.Next(1)), uint8_t(in.Next(1)), uint8_t(in.Next(1)), 0};
    for (size_t i = 0; i < picture.SizeInBytes(); ++i) picture.Bits()[i] = uint8_t(in.Next(1));

    cJpeg encoder;
    encoder.SetQuality(quality);
    if (grey) encoder.SetSamplingFrequencies(factors[0], factors[1], 0, 0, 0, 0);
    else encoder.SetSamplingFrequencies(factors[0], factors[1], factors[2], factors[3], factors[4], factors[5]);
    encoder.SetComment(comment);
    if (encoder.SampleHDC(&picture, width, height, left, top) != 0) std::abort();
    std::vector<uint8_t> file;
    try {
        file = encoder.Encode();
    } catch (const std::overflow_error&) {
        // A comment character without a Windows-1252 byte is refused this way; nothing else is.
        for (char c : comment)
            if (uint8_t(c) >= 0x80) return 0;
        throw;
    }
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8 || file[file.size() - 2] != 0xFF ||
        file[file.size() - 1] != 0xD9)
        std::abort();

    // libjpeg-turbo decodes only sampling factors that divide the largest ones; other legal
    // combinations are checked for their framing alone.
    for (int c = 0; c < (grey ? 1 : 3); ++c)
        if (encoder.MaxH() % encoder.Components()[size_t(c)].H || encoder.MaxV() % encoder.Components()[size_t(c)].V)
            return 0;

    const testing::DecodedJpeg decoded = testing::DecodeJpeg(file);
    if (!decoded.ok || decoded.width != width || decoded.height != height || decoded.components != (grey ? 1 : 3)) {
        std::fprintf(stderr, "%dx%d, %s, factors %d %d %d %d %d %d: decoded %s, %dx%d, %d components\n", width, height,
                     grey ? "grey" : "colour", factors[0], factors[1], factors[2], factors[3], factors[4], factors[5],
                     decoded.ok ? "fine" : decoded.error.c_str(), decoded.width, decoded.height, decoded.components);
        std::abort();
    }
    return 0;
}
