// The LZMA decoder (ZIP header, properties, raw stream) over arbitrary data: output never passes
// the declared size; a stream without the end marker that decodes cleanly gives exactly the
// declared size; and the same stream in any chunking decodes to the same bytes.
//
// Input: 2 bytes declared size, 1 byte chunking of the source (bit 7: the end-marker flag), then
// the member's data.
#include "common/DecoderFuzz.h"
#include "unlzma.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const uint64_t limit = in.Next(2);
    const uint32_t settings = in.Next(1);
    const tarrow::LzmaMember member{limit, (settings & 0x80) != 0};
    const std::span<const uint8_t> stream = in.Rest();

    tarrow::OutputWindow window;
    auto decode = [&](size_t chunk, fuzz::CollectingSink& sink) {
        tarrow::MemorySource source(stream, chunk);
        window.start(sink, limit);
        return tarrow::unlzma(source, window, member);
    };
    fuzz::CollectingSink sink, whole;
    const tarrow::DecodeStatus status = decode(fuzz::ChunkSize(settings), sink);
    if (sink.bytes.size() > limit) std::abort();
    if (status == tarrow::DecodeStatus::Ok && !member.endMarker && sink.bytes.size() != limit) std::abort();
    if (decode(SIZE_MAX, whole) != status || whole.bytes != sink.bytes) std::abort();
    return 0;
}
