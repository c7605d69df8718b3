#include "MemberDecode.h"

#include "Operation.h"
#include "bunzip2.h"
#include "explode.h"
#include "inflate.h"
#include "ppmd.h"
#include "stored.h"
#include "unlzma.h"
#include "unshrink.h"
#include "unxz.h"
#include "unzstd.h"

#include <memory>

namespace tarrow {

bool supportedMethod(uint16_t method) {
    return method == kStored || method == kShrunk || method == kImploded || method == kDeflated ||
           method == kDeflate64 || method == kPpmd || method == kBzip2 || method == kLzma || method == kZstdEarly ||
           method == kZstd || method == kXz;
}

DecodeStatus decodeMethod(const MethodParams& m, ByteSource& source, OutputSink& out, uint64_t limit) {
    static thread_local std::unique_ptr<OutputWindow> window;
    if (!window || !window->valid()) window = std::make_unique<OutputWindow>();
    if (!window->valid()) return DecodeStatus::NoMemory;
    window->start(out, limit);
    switch (m.method) {
    case kStored: return copyStored(source, *window);
    case kShrunk: return unshrink(source, out, limit);
    case kImploded: return explode(source, *window, {m.flags, limit, m.compressedSize});
    case kPpmd: return unppmd(source, *window, limit);
    case kBzip2: return bunzip2(source, *window);
    case kLzma: return unlzma(source, *window, {limit, (m.flags & kFlagLzmaEndMarker) != 0});
    case kXz: return unxz(source, *window, kMaxDecoderMemory);
    case kZstd:
    case kZstdEarly: return unzstd(source, *window);
    case kDeflated:
    case kDeflate64: {
        static thread_local Inflater inflater;
        return inflater.run(source, *window,
                            m.method == kDeflate64 ? DeflateFormat::Deflate64 : DeflateFormat::Deflate);
    }
    default: return DecodeStatus::BadInput;
    }
}

}  // namespace tarrow
