// The LZW decoder of the shrunk method over arbitrary data: its code table must stay consistent
// through partial clearing and code size changes, and output never passes the declared size.
//
// Input: 3 bytes declared size, 1 byte chunking, then the shrunk data.
#include "common/DecoderFuzz.h"
#include "unshrink.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const uint64_t limit = in.Next(3);
    const size_t chunk = fuzz::ChunkSize(in.Next(1));
    tarrow::MemorySource source(in.Rest(), chunk);
    fuzz::CountingSink sink(UINT32_MAX);
    tarrow::unshrink(source, sink, limit);
    if (sink.total > limit) std::abort();
    return 0;
}
