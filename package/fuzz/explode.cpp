// The exploder over arbitrary data with each combination of dictionary size and literal tree:
// it must stay inside its window and never hand on more than the declared size. A sink that
// refuses output partway must stop it at once.
//
// Input: 1 byte flags and chunking, 2 bytes declared size, 2 bytes compressed size (0: the data's
// real length), 2 bytes where the sink refuses, then the imploded data.
#include "common/DecoderFuzz.h"
#include "explode.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const uint32_t setup = in.Next(1);
    tarrow::ExplodeParams params;
    params.flags = uint16_t(setup & 6);  // bit 1: 8 KB dictionary, bit 2: literal tree
    params.size = in.Next(2);
    const uint32_t compressed = in.Next(2);
    const uint32_t stopAfter = in.Next(2);
    const std::span<const uint8_t> stream = in.Rest();
    params.compressedSize = compressed ? compressed : stream.size();

    tarrow::OutputWindow window;
    if (!window.valid()) return 0;
    tarrow::MemorySource source(stream, fuzz::ChunkSize(setup >> 3));
    if (setup & 1) {
        fuzz::CountingSink sink(stopAfter);
        window.start(sink, params.size);
        tarrow::explode(source, window, params);
        if (sink.total > params.size) std::abort();
    } else {
        fuzz::CollectingSink sink;
        window.start(sink, params.size);
        const tarrow::DecodeStatus status = tarrow::explode(source, window, params);
        if (sink.bytes.size() > params.size) std::abort();
        // Complete output is exactly the declared size.
        if ((status == tarrow::DecodeStatus::Ok || status == tarrow::DecodeStatus::InputUnused) &&
            sink.bytes.size() != params.size)
            std::abort();
    }
    return 0;
}
