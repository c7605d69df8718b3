// The PPMd decoder over arbitrary data: its model and sub-allocator must stay inside their memory
// whatever symbols the damaged stream makes it learn, output never passes the declared size, and how
// the input is cut into chunks changes nothing.
//
// Input: 1 byte setup (bit 0: keep the stream's memory size, else 1 MB; bits 1-7: chunking), 3 bytes
// declared size (at most 1 MB), then the method's data with its 2-byte header.
#include "common/DecoderFuzz.h"
#include "ppmd.h"

#include <cstdlib>
#include <vector>

namespace {

tarrow::DecodeStatus run(std::span<const uint8_t> stream, size_t chunk, uint64_t limit, fuzz::CollectingSink& sink) {
    tarrow::OutputWindow window;
    if (!window.valid()) std::abort();
    tarrow::MemorySource source(stream, chunk);
    window.start(sink, limit);
    return tarrow::unppmd(source, window, limit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const uint32_t setup = in.Next(1);
    const uint64_t limit = in.Next(3) & 0xFFFFF;
    std::vector<uint8_t> stream(in.Rest().begin(), in.Rest().end());
    // Small memory fills sooner, so restarts and cut-offs are reached with short outputs.
    if (!(setup & 1) && stream.size() >= 2) {
        stream[0] &= 0x0F;
        stream[1] &= 0xF0;
    }
    fuzz::CollectingSink whole, chunked;
    const tarrow::DecodeStatus a = run(stream, SIZE_MAX, limit, whole);
    const tarrow::DecodeStatus b = run(stream, fuzz::ChunkSize(setup >> 1), limit, chunked);
    if (whole.bytes.size() > limit || a != b || whole.bytes != chunked.bytes) std::abort();
    return 0;
}
