// cJpeg: the viewer's baseline JPEG encoder (8-bit samples, Huffman tables optimised for each
// image, JFIF file). Create it, optionally set the quality, sampling factors and comment, then
// SampleHDC to read and transform the pixels, then SaveFile (or Encode) to code and write them.
#pragma once

#include "imaging/JpegError.h"
#include "imaging/JpegHuffman.h"
#include "imaging/JpegTransform.h"
#include "imaging/RecyclingAllocator.h"
#include "platform/Dib.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

struct QuantTable {
    std::array<uint16_t, 64> Qk{};    // quantizer values in zig-zag order, as written to the file
    std::array<float, 64> Divisor{};  // multiplier for a transform output, by zig-zag position
};

struct JpegComponent {
    int32_t Id = 0;  // 1 to 3, set by SampleHDC
    int32_t H = 1;   // sampling factors, 1 to 4
    int32_t V = 1;
    int32_t Tq = 0;  // quantization table: 0 for the first component, 1 for the others
    // Quantized coefficients: blocks of 64 in raster order, each in zig-zag order.
    std::vector<int16_t, jpeg::RecyclingAllocator<int16_t>> Data;
    int32_t BlockColumns = 0;  // padded width / 8
    int32_t BlockRows = 0;     // padded height / 8
};

class cJpeg {
public:
    using ZigZagTable = std::array<std::array<int32_t, 8>, 8>;

    // Quality 95, three components sampled 1 x 1, no comment.
    cJpeg();

    int32_t Quality() const { return m_quality; }
    // Rebuilds both quantization tables; a value outside 1 to 100 is ignored.
    void SetQuality(int32_t quality);

    // Factors 1 to 4 each; H2, V2, H3 and V3 all 0 selects greyscale (one component).
    // Throws JpegError("Invalid Sampling Value").
    void SetSamplingFrequencies(int32_t h1, int32_t v1, int32_t h2, int32_t v2, int32_t h3, int32_t v3);

    // The comment segment's text (UTF-8; written in the Windows-1252 code page); empty = none.
    // Throws JpegError("Illegal Comment Length") beyond 65533 characters, keeping the old text.
    const std::string& Comment() const { return m_comment; }
    void SetComment(const std::string& value);

    // Reads the width x height rectangle at (srcLeft, srcTop) of the bitmap and turns it into
    // quantized coefficients. Returns 0, or 1 when there is no bitmap to read or the working
    // bitmap would exceed the bitmap size limits (the coefficients are then cleared).
    int32_t SampleHDC(const Dib* hdc, int32_t width, int32_t height, int32_t srcLeft, int32_t srcTop);

    // Codes the sampled image and writes the JFIF file: 0 written, 1 empty name, 2 a file of that
    // name exists (it is left alone). Errors throw (JpegError, std::overflow_error,
    // std::system_error for the file) and leave no file behind.
    int32_t SaveFile(const std::string& fileName);
    // The bytes SaveFile would write.
    std::vector<uint8_t> Encode();

    // --- The steps behind the interface, open for tests and tools. ---

    // Derives QuantTables(n).Divisor from its Qk; throws JpegError("Bad Quantization Table") for a
    // value outside 1 to 255.
    void PrepareQuantTable(int n);
    static void GenerateHuffmanTable(HuffmanTable& table, SymbolCounts& counts) {
        jpeg::GenerateHuffmanTable(table, counts);
    }
    static void BuildHuffmanCodes(HuffmanTable& table, int maxSymbol) { jpeg::BuildHuffmanCodes(table, maxSymbol); }

    // One scan: the components first to last; more than one component makes it interleaved.
    struct ScanGroup {
        int first = 0;
        int last = 0;
        bool operator==(const ScanGroup&) const = default;
    };
    // Groups components first to last into scans so that no interleaved scan holds more than
    // 10 blocks per MCU.
    std::vector<ScanGroup> ScanPlan(int first, int last) const;
    // Counts the symbols of the scans, builds the tables they use, and returns the coded size
    // estimate in bytes.
    int32_t OptimizeHuffmanTables(int first, int last);

    const ZigZagTable& ZigZag() const { return m_zigZag; }
    const std::array<uint16_t, 64>& BaseLuminanceTable() const { return m_baseLuminance; }
    const std::array<uint16_t, 64>& BaseChrominanceTable() const { return m_baseChrominance; }
    std::array<QuantTable, 4>& QuantTables() { return m_quantTables; }
    const std::array<QuantTable, 4>& QuantTables() const { return m_quantTables; }
    const std::array<HuffmanTable, 4>& DCTables() const { return m_dcTables; }
    const std::array<HuffmanTable, 4>& ACTables() const { return m_acTables; }
    const std::vector<JpegComponent>& Components() const { return m_components; }
    int32_t ComponentCount() const { return int32_t(m_components.size()); }
    int32_t ImageWidth() const { return m_imageWidth; }
    int32_t ImageHeight() const { return m_imageHeight; }
    int32_t MaxH() const { return m_maxH; }
    int32_t MaxV() const { return m_maxV; }

private:
    // A quantizer arranged for the transposed output of the fast transform.
    jpeg::BlockQuantizer TransposedQuantizer(int table) const;
    void ClearCoefficients();
    void SampleComponents(const Dib& source, int32_t width, int32_t height, int32_t srcLeft, int32_t srcTop,
                          bool direct, int32_t w8, int32_t h8);

    // File assembly (cJpeg.cpp).
    void PutByte(uint8_t value);
    void PutWord(int32_t value);  // big-endian; throws std::overflow_error above 65535
    void WriteMarker(uint8_t code);
    void WriteJFIFHeader();
    void WriteComment(const std::string& bytes);
    void WriteQuantTable(size_t start, int n);
    void WriteFrameHeader(uint8_t code);
    void WriteHuffmanTable(size_t start, int n, bool isAC);
    void WriteScanHeader(const ScanGroup& scan);

    // Entropy coding (JpegEntropy.cpp). WriteScans writes the symbols OptimizeHuffmanTables
    // recorded for the same components.
    void WriteScans(int first, int last);

    ZigZagTable m_zigZag{};
    std::array<uint16_t, 64> m_baseLuminance{};
    std::array<uint16_t, 64> m_baseChrominance{};
    int32_t m_precision = 8;
    int32_t m_imageHeight = 0;
    int32_t m_imageWidth = 0;
    int32_t m_maxH = 1;
    int32_t m_maxV = 1;
    std::vector<uint8_t> m_outBuffer;
    size_t m_outPos = 0;
    std::array<QuantTable, 4> m_quantTables{};
    std::array<HuffmanTable, 4> m_dcTables{};
    std::array<HuffmanTable, 4> m_acTables{};
    std::vector<JpegComponent> m_components;
    // Where the symbols that OptimizeHuffmanTables recorded (in a buffer of the thread) end, in
    // all and per scan.
    size_t m_symbolCount = 0;
    std::vector<size_t> m_scanSymbolEnds;
    int32_t m_quality = 0;
    std::string m_comment;
};

}  // namespace veltrane
