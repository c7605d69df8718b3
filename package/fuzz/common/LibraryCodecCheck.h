// The check shared by the fuzz targets of the decoders that wrap a library: our decoder, fed in the
// input's chunking through the output window, against the library's own one-shot decoder.
#pragma once

#include "DecoderFuzz.h"
#include "OutputWindow.h"

#include <algorithm>
#include <cstdlib>

namespace fuzz {

// The reference decodes at most this much: far past any declared size, as only that matters.
constexpr size_t kReferenceCap = 0x30000;

// Input: 2 bytes declared size, 1 byte chunking, then the stream. `reference` fills its output and
// says whether the stream decoded completely within kReferenceCap.
template <typename Decode, typename Reference>
int CheckAgainstReference(const uint8_t* data, size_t size, Decode decode, Reference reference,
                          bool referenceMayAcceptMore = false) {
    Reader in(data, size);
    const uint64_t limit = in.Next(2);
    const size_t chunk = ChunkSize(in.Next(1));
    const std::span<const uint8_t> stream = in.Rest();

    tarrow::MemorySource source(stream, chunk);
    CollectingSink sink;
    tarrow::OutputWindow window;
    window.start(sink, limit);
    const tarrow::DecodeStatus status = decode(source, window);
    if (sink.bytes.size() > limit) std::abort();

    std::vector<uint8_t> expected;
    const bool complete = reference(stream, expected);
    if (!complete) {
        // Only a stream the reference cannot finish within its cap may still decode here, and
        // then only when its output was cut at the declared size.
        if (status == tarrow::DecodeStatus::Ok && expected.size() < kReferenceCap) std::abort();
        return 0;
    }
    if (referenceMayAcceptMore && status == tarrow::DecodeStatus::DataError) return 0;
    if (expected.size() <= limit) {
        if (status != tarrow::DecodeStatus::Ok || sink.bytes != expected) std::abort();
    } else if (status != tarrow::DecodeStatus::TooLong || sink.bytes.size() != limit ||
               !std::equal(sink.bytes.begin(), sink.bytes.end(), expected.begin())) {
        std::abort();
    }
    return 0;
}

}  // namespace fuzz
