// The xz decoder over arbitrary data, checked against liblzma's one-shot decoder under the same
// memory limit: a stream that decodes completely must decode here to the same bytes, cut at the
// declared size when it exceeds it. Whatever the data, output never passes the declared size.
//
// Input: 2 bytes declared size, 1 byte chunking of the source, then the xz stream.
#include "common/LibraryCodecCheck.h"
#include "unxz.h"

#include <lzma.h>

namespace {
constexpr uint64_t kMemoryLimit = 16 << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::CheckAgainstReference(
        data, size,
        [](tarrow::ByteSource& source, tarrow::OutputWindow& window) {
            return tarrow::unxz(source, window, kMemoryLimit);
        },
        [](std::span<const uint8_t> stream, std::vector<uint8_t>& out) {
            out.resize(fuzz::kReferenceCap);
            uint64_t limit = kMemoryLimit;
            size_t in = 0, produced = 0;
            lzma_ret rc = lzma_stream_buffer_decode(&limit, 0, nullptr, stream.data(), &in, stream.size(), out.data(),
                                                    &produced, out.size());
            out.resize(produced);
            return rc == LZMA_OK;
        });
}
