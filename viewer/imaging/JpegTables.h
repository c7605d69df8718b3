// Constant tables of baseline JPEG as the encoder uses them: the example quantization tables of
// T.81 Annex K in their natural (row by row) order, and the scale factors of the AAN transform.
#pragma once

#include <array>
#include <cstdint>

namespace veltrane::jpeg {

// Table K.1: luminance quantizers for quality 50, row v (vertical frequency) by column u.
inline constexpr std::array<uint16_t, 64> kLuminanceK1 = {
    16, 11, 10, 16, 24,  40,  51,  61,   //
    12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,   //
    14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,   //
    24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101,  //
    72, 92, 95, 98, 112, 100, 103, 99,
};

// Table K.2: chrominance quantizers for quality 50.
inline constexpr std::array<uint16_t, 64> kChrominanceK2 = {
    17, 18, 24, 47, 99, 99, 99, 99,  //
    18, 21, 26, 66, 99, 99, 99, 99,  //
    24, 26, 56, 99, 99, 99, 99, 99,  //
    47, 66, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,
};

// The AAN transform leaves output (v, u) multiplied by 8 * a_v * a_u, a_0 = 1 and
// a_k = sqrt(2) * cos(k * pi / 16). The quantizer divisors take 1 / (sqrt(8) * a_k) per axis.
inline constexpr std::array<double, 8> kScaleFactor = {
    0.353553390593273, 0.25489778955208,  0.270598050073098, 0.300672443467523,
    0.353553390593273, 0.449988111568207, 0.653281482438186, 1.28145772387074,
};

}  // namespace veltrane::jpeg
