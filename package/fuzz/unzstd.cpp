// The zstd decoder over arbitrary data, checked against libzstd's one-shot decoder: whatever our
// streaming decoder accepts, the one-shot decoder decodes to the same bytes (it may accept more:
// it needs no window limit), and output never passes the declared size.
//
// Input: 2 bytes declared size, 1 byte chunking of the source, then zstd frames.
#include "common/LibraryCodecCheck.h"
#include "unzstd.h"

#include <zstd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::CheckAgainstReference(
        data, size,
        [](tarrow::ByteSource& source, tarrow::OutputWindow& window) { return tarrow::unzstd(source, window, 20); },
        [](std::span<const uint8_t> stream, std::vector<uint8_t>& out) {
            out.resize(fuzz::kReferenceCap);
            size_t rc = ZSTD_decompress(out.data(), out.size(), stream.data(), stream.size());
            if (ZSTD_isError(rc)) return false;
            out.resize(rc);
            return true;
        },
        /*referenceMayAcceptMore=*/true);
}
