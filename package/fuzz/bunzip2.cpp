// The bzip2 decoder over arbitrary data, checked against libbz2's one-shot decoder: a stream that
// decodes completely must decode here to the same bytes, cut at the declared size (and reported as
// too long) when it exceeds it. Whatever the data, output never passes the declared size.
//
// Input: 2 bytes declared size, 1 byte chunking of the source, then the bzip2 stream.
#include "bunzip2.h"
#include "common/LibraryCodecCheck.h"

#include <bzlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::CheckAgainstReference(
        data, size, tarrow::bunzip2, [](std::span<const uint8_t> stream, std::vector<uint8_t>& out) {
            out.resize(fuzz::kReferenceCap);
            unsigned produced = unsigned(out.size());
            char none = 0;
            int rc = BZ2_bzBuffToBuffDecompress(
                reinterpret_cast<char*>(out.data()), &produced,
                stream.empty() ? &none : const_cast<char*>(reinterpret_cast<const char*>(stream.data())),
                unsigned(stream.size()), 0, 0);
            out.resize(produced);
            return rc == BZ_OK;
        });
}
