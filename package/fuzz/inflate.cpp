// The inflater over arbitrary data, through the window and straight into a buffer of the declared
// size: both must give the same status and output, and the same input used when intact. Deflate
// streams are also checked against zlib: a stream zlib decodes completely must decode here to the
// same bytes, cut at the declared size (and reported as too long) when it exceeds it. Whatever the
// data, output never passes the declared size.
//
// Input: 2 bytes declared size, 1 byte mode (bit 7: Deflate64; the rest: chunking of the source),
// then the raw deflated data.
#include "common/DecoderFuzz.h"
#include "inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace {

// zlib's raw inflate of the whole data; false unless it reached the end of the last block.
bool ReferenceInflate(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    int status = Z_OK;
    uint8_t buffer[16384];
    // Output is bounded: the data is small and deflate expands at most 258 bytes per bit or so;
    // stop early far past any declared size, as only the declared size matters.
    while (status == Z_OK && out.size() <= 0x20000) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        if (status == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const uint64_t limit = in.Next(2);
    const uint32_t mode = in.Next(1);
    const size_t chunk = fuzz::ChunkSize(mode & 0x7f);
    const auto format = mode & 0x80 ? tarrow::DeflateFormat::Deflate64 : tarrow::DeflateFormat::Deflate;
    const std::span<const uint8_t> stream = in.Rest();

    static tarrow::OutputWindow window;
    static tarrow::Inflater inflater;
    tarrow::MemorySource source(stream, chunk);
    fuzz::CollectingSink sink;
    window.start(sink, limit);
    uint64_t unused = 0;
    const tarrow::DecodeStatus status = inflater.run(source, window, format, &unused);
    if (sink.bytes.size() > limit) std::abort();

    std::vector<uint8_t> buffer(limit);
    const tarrow::InflateResult r = tarrow::inflateToBuffer(stream, buffer, format);
    if (r.status != status || r.produced > limit || sink.bytes.size() > r.produced ||
        !std::equal(sink.bytes.begin(), sink.bytes.end(), buffer.begin()))
        std::abort();
    if (status == tarrow::DecodeStatus::Ok && (r.produced != sink.bytes.size() || r.consumed != stream.size() - unused))
        std::abort();
    if (status == tarrow::DecodeStatus::TooLong && r.produced != limit) std::abort();
    if (format == tarrow::DeflateFormat::Deflate64) return 0;

    std::vector<uint8_t> expected;
    if (!ReferenceInflate(stream, expected)) return 0;
    if (expected.size() <= limit) {
        if (status != tarrow::DecodeStatus::Ok || sink.bytes != expected) std::abort();
    } else {
        if (status != tarrow::DecodeStatus::TooLong || sink.bytes.size() != limit ||
            !std::equal(sink.bytes.begin(), sink.bytes.end(), expected.begin()))
            std::abort();
    }
    return 0;
}
