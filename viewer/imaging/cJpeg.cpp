#include "imaging/cJpeg.h"

#include "imaging/JpegTables.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace veltrane {

namespace {

// JPEG markers the file uses.
constexpr uint8_t kSOI = 0xD8, kEOI = 0xD9, kAPP0 = 0xE0, kCOM = 0xFE, kDQT = 0xDB, kSOF0 = 0xC0, kDHT = 0xC4,
                  kSOS = 0xDA;

constexpr size_t kMaxCommentChars = 65533;  // the segment length field counts itself too

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five unassigned ones.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Splits UTF-8 text into characters; a byte that starts no valid sequence stands for itself as
// an invalid character (0xFFFFFFFF).
std::vector<char32_t> Characters(const std::string& text) {
    constexpr char32_t kInvalid = 0xFFFFFFFF;
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = uint8_t(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const int extra = (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 0;
        bool valid = extra > 0 && i + size_t(extra) < text.size();
        char32_t c = lead & (0x3Fu >> extra);
        for (int k = 1; valid && k <= extra; ++k) {
            const auto b = uint8_t(text[i + size_t(k)]);
            valid = (b & 0xC0) == 0x80;
            c = (c << 6) | (b & 0x3Fu);
        }
        out.push_back(valid ? c : kInvalid);
        i += valid ? size_t(extra) + 1 : 1;
    }
    return out;
}

// The comment's bytes in the Windows-1252 code page; a character that has no byte there raises
// the overflow error, as converting it to a single-byte code would.
std::string ToCodePage(const std::string& text) {
    std::string bytes;
    for (const char32_t c : Characters(text)) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes.push_back(char(c));
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32 && found < 0; ++k)
            if (kCp1252High[k] != 0 && kCp1252High[k] == c) found = 0x80 + k;
        if (found < 0) throw std::overflow_error("Overflow");
        bytes.push_back(char(found));
    }
    return bytes;
}

int32_t RoundHalfEven(double value) { return int32_t(std::nearbyint(value)); }

}  // namespace

cJpeg::cJpeg() {
    // The zig-zag walk of T.81 Figure A.6: diagonals alternately up-right and down-left, turning
    // along the edge that a step would leave.
    int row = 0, col = 0;
    bool upRight = true;
    for (int pos = 0; pos < 64; ++pos) {
        m_zigZag[size_t(row)][size_t(col)] = pos;
        const int r = upRight ? row - 1 : row + 1;
        const int c = upRight ? col + 1 : col - 1;
        if (c > 7) {
            ++row;
            col = 7;
            upRight = false;
        } else if (r > 7) {
            row = 7;
            ++col;
            upRight = true;
        } else if (c < 0) {
            ++row;
            col = 0;
            upRight = true;
        } else if (r < 0) {
            row = 0;
            ++col;
            upRight = false;
        } else {
            row = r;
            col = c;
        }
    }
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 8; ++j) {
            m_baseLuminance[size_t(m_zigZag[i][j])] = jpeg::kLuminanceK1[i * 8 + j];
            m_baseChrominance[size_t(m_zigZag[i][j])] = jpeg::kChrominanceK2[i * 8 + j];
        }
    SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    SetQuality(95);
}

void cJpeg::SetQuality(int32_t quality) {
    if (quality < 1 || quality > 100) return;
    m_quality = quality;
    // The scaling of the quality-50 tables: linear above 50, hyperbolic below.
    const int32_t scale = quality >= 50 ? 200 - 2 * quality : RoundHalfEven(5000.0 / quality);
    for (size_t k = 0; k < 64; ++k) {
        const auto scaled = [&](uint16_t base) {
            const int32_t v = RoundHalfEven((double(base) * scale + 50.0) / 100.0);
            return uint16_t(std::clamp(v, 1, 255));
        };
        m_quantTables[0].Qk[k] = scaled(m_baseLuminance[k]);
        m_quantTables[1].Qk[k] = scaled(m_baseChrominance[k]);
    }
    PrepareQuantTable(0);
    PrepareQuantTable(1);
}

void cJpeg::PrepareQuantTable(int n) {
    if (n < 0 || n > 3) throw std::out_of_range("Subscript out of range");
    QuantTable& table = m_quantTables[size_t(n)];
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 8; ++j) {
            const auto z = size_t(m_zigZag[i][j]);
            if (table.Qk[z] < 1 || table.Qk[z] > 255) throw JpegError(jpeg::kBadQuantizationTable);
            table.Divisor[z] = float(jpeg::kScaleFactor[i] * jpeg::kScaleFactor[j] / table.Qk[z]);
        }
}

jpeg::BlockQuantizer cJpeg::TransposedQuantizer(int table) const {
    jpeg::BlockQuantizer q;
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 8; ++j) {
            const auto z = size_t(m_zigZag[i][j]);
            q.multiplier[j * 8 + i] = m_quantTables[size_t(table)].Divisor[z];
            q.zigzag[j * 8 + i] = uint8_t(z);
        }
    return q;
}

void cJpeg::SetSamplingFrequencies(int32_t h1, int32_t v1, int32_t h2, int32_t v2, int32_t h3, int32_t v3) {
    const auto check = [](int32_t f) {
        if (f < 1 || f > 4) throw JpegError(jpeg::kInvalidSampling);
    };
    check(h1);
    check(v1);
    std::vector<JpegComponent> components;
    if (h2 == 0 && v2 == 0 && h3 == 0 && v3 == 0) {
        components.resize(1);  // greyscale: the factors of a lone component do not matter
    } else {
        for (const int32_t f : {h2, h3, v2, v3}) check(f);
        components.resize(3);
        components[0].H = h1, components[0].V = v1;
        components[1].H = h2, components[1].V = v2, components[1].Tq = 1;
        components[2].H = h3, components[2].V = v3, components[2].Tq = 1;
    }
    m_components = std::move(components);
    m_maxH = m_maxV = 1;
    for (const JpegComponent& c : m_components) {
        m_maxH = std::max(m_maxH, c.H);
        m_maxV = std::max(m_maxV, c.V);
    }
}

void cJpeg::SetComment(const std::string& value) {
    if (Characters(value).size() > kMaxCommentChars) throw JpegError(jpeg::kIllegalCommentLength);
    m_comment = value;
}

void cJpeg::ClearCoefficients() {
    for (JpegComponent& c : m_components) {
        decltype(c.Data)().swap(c.Data);
        c.BlockColumns = c.BlockRows = 0;
    }
}

// ---- File assembly ----

void cJpeg::PutByte(uint8_t value) {
    if (m_outPos >= m_outBuffer.size()) m_outBuffer.resize(std::max<size_t>(64, m_outBuffer.size() * 2));
    m_outBuffer[m_outPos++] = value;
}

void cJpeg::PutWord(int32_t value) {
    if (value < 0 || value > 0xFFFF) throw std::overflow_error("Overflow");
    PutByte(uint8_t(value >> 8));
    PutByte(uint8_t(value));
}

void cJpeg::WriteMarker(uint8_t code) {
    PutByte(0xFF);
    PutByte(code);
}

void cJpeg::WriteJFIFHeader() {
    static constexpr uint8_t kApp0[] = {0x00, 0x10, 'J',  'F',  'I',  'F',  0x00, 0x01,
                                        0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
    WriteMarker(kAPP0);
    for (const uint8_t b : kApp0) PutByte(b);
}

void cJpeg::WriteComment(const std::string& bytes) {
    WriteMarker(kCOM);
    PutWord(int32_t(bytes.size()) + 2);
    for (const char c : bytes) PutByte(uint8_t(c));
}

void cJpeg::WriteQuantTable(size_t start, int n) {
    if (m_outPos < start + 4) {
        m_outPos = start;
        WriteMarker(kDQT);
        PutWord(0);  // length, filled in below
    }
    PutByte(uint8_t(n));  // high nibble 0: 8-bit values
    for (const uint16_t q : m_quantTables[size_t(n)].Qk) {
        if (q > 255) throw JpegError(jpeg::kIllegalPrecision);
        PutByte(uint8_t(q));
    }
    const size_t length = m_outPos - start - 2;
    m_outBuffer[start + 2] = uint8_t(length >> 8);
    m_outBuffer[start + 3] = uint8_t(length);
}

void cJpeg::WriteFrameHeader(uint8_t code) {
    WriteMarker(code);
    PutWord(8 + 3 * ComponentCount());
    PutByte(uint8_t(m_precision));
    PutWord(m_imageHeight);
    PutWord(m_imageWidth);
    PutByte(uint8_t(ComponentCount()));
    for (const JpegComponent& c : m_components) {
        PutByte(uint8_t(c.Id));
        PutByte(uint8_t(c.H * 16 + c.V));
        PutByte(uint8_t(c.Tq));
    }
}

void cJpeg::WriteHuffmanTable(size_t start, int n, bool isAC) {
    if (m_outPos < start + 4) {
        m_outPos = start;
        WriteMarker(kDHT);
        PutWord(0);
    }
    const HuffmanTable& table = isAC ? m_acTables[size_t(n)] : m_dcTables[size_t(n)];
    PutByte(uint8_t((isAC ? 0x10 : 0x00) | n));
    int symbols = 0;
    for (const uint8_t count : table.Bits) {
        PutByte(count);
        symbols += count;
    }
    for (int i = 0; i < symbols && i < 256; ++i) PutByte(table.HuffVal[size_t(i)]);
    const size_t length = m_outPos - start - 2;
    m_outBuffer[start + 2] = uint8_t(length >> 8);
    m_outBuffer[start + 3] = uint8_t(length);
}

void cJpeg::WriteScanHeader(const ScanGroup& scan) {
    const int count = scan.last - scan.first + 1;
    WriteMarker(kSOS);
    PutWord(6 + 2 * count);
    PutByte(uint8_t(count));
    for (int c = scan.first; c <= scan.last; ++c) {
        const int table = c == 0 ? 0 : 1;
        PutByte(uint8_t(m_components[size_t(c)].Id));
        PutByte(uint8_t(table * 16 + table));
    }
    PutByte(0x00);  // spectral selection 0 to 63: the whole block
    PutByte(0x3F);
    PutByte(0x00);  // no successive approximation
}

std::vector<uint8_t> cJpeg::Encode() {
    const int n = ComponentCount();
    const int32_t estimate = OptimizeHuffmanTables(0, n - 1);
    const std::string comment = ToCodePage(m_comment);
    // Room for the coded data with a margin for stuffed bytes, plus the headers; the buffer grows
    // if an unusual image needs more.
    const double lastIndex = std::nearbyint(estimate * 1.3 + 1000.0 + double(Characters(m_comment).size()));
    m_outBuffer.assign(size_t(lastIndex) + 1, 0);
    m_outPos = 0;

    WriteMarker(kSOI);
    WriteJFIFHeader();
    if (!comment.empty()) WriteComment(comment);
    WriteQuantTable(m_outPos, 0);
    if (n > 1) WriteQuantTable(m_outPos, 1);
    WriteFrameHeader(kSOF0);
    WriteHuffmanTable(m_outPos, 0, false);
    WriteHuffmanTable(m_outPos, 0, true);
    if (n > 1) {
        WriteHuffmanTable(m_outPos, 1, false);
        WriteHuffmanTable(m_outPos, 1, true);
    }
    WriteScans(0, n - 1);
    WriteMarker(kEOI);

    // The file is the buffer cut to its coded length; its spare room is not copied.
    m_outBuffer.resize(m_outPos);
    std::vector<uint8_t> file = std::move(m_outBuffer);
    m_outBuffer = {};
    m_outPos = 0;
    return file;
}

int32_t cJpeg::SaveFile(const std::string& fileName) {
    if (fileName.empty()) return 1;
    if (access(fileName.c_str(), F_OK) == 0) return 2;
    const std::vector<uint8_t> file = Encode();
    // O_EXCL: a file that appeared since the check above is not replaced either.
    const int fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) return 2;
        throw std::system_error(errno, std::generic_category(), fileName);
    }
    size_t done = 0;
    while (done < file.size()) {
        const ssize_t n = write(fd, file.data() + done, file.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            close(fd);
            unlink(fileName.c_str());  // a torn file would pass for a preview
            throw std::system_error(error, std::generic_category(), fileName);
        }
        done += size_t(n);
    }
    if (close(fd) != 0) {
        const int error = errno;
        unlink(fileName.c_str());
        throw std::system_error(error, std::generic_category(), fileName);
    }
    return 0;
}

}  // namespace veltrane
