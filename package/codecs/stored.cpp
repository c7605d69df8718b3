#include "stored.h"

#include <algorithm>

namespace tarrow {

DecodeStatus copyStored(ByteSource& source, OutputWindow& window) {
    for (auto run = source.next(); !run.empty(); run = source.next()) {
        while (!run.empty()) {
            size_t n = std::min(run.size(), size_t(window.flushAt - window.pos));
            std::memcpy(window.pos, run.data(), n);
            window.pos += n;
            run = run.subspan(n);
            if (window.pos >= window.flushAt)
                if (DecodeStatus s = window.flush(); s != DecodeStatus::Ok) return s;
        }
    }
    return window.finish();
}

}  // namespace tarrow
