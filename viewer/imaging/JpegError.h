// The errors the JPEG encoder raises itself: error number 1 with a short English description.
// Arithmetic overflows raise std::overflow_error, as the bitmap code does.
#pragma once

#include <stdexcept>
#include <string>

namespace veltrane {

class JpegError : public std::runtime_error {
public:
    explicit JpegError(const std::string& message) : std::runtime_error(message) {}
    int Number() const { return 1; }
};

namespace jpeg {
inline constexpr const char* kInvalidSampling = "Invalid Sampling Value";
inline constexpr const char* kIllegalCommentLength = "Illegal Comment Length";
inline constexpr const char* kBadQuantizationTable = "Bad Quantization Table";
inline constexpr const char* kBadHuffmanTable = "Bad Huffman Table";
inline constexpr const char* kIllegalPrecision = "Illegal precision in Quantisation Table";
}  // namespace jpeg

}  // namespace veltrane
