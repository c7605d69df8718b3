// Recovery over arbitrary bytes: an archive opened with TARROW_OPEN_RECOVER, every member read.
// Whatever the walk finds, a member that reads whole gave exactly the size its entry lists, and a
// recovered archive's members are all flagged, with a damaged one only at the end.
#include "tarrow.h"

#include <cstdlib>
#include <string_view>

namespace {

int count(void* user, const void*, size_t size) {
    *static_cast<size_t*>(user) += size;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const tarrow_open_options options{sizeof options, TARROW_OPEN_RECOVER, nullptr};
    tarrow_archive* archive = nullptr;
    if (tarrow_open_memory_with(data, size, &options, &archive) != TARROW_OK) return 0;
    const size_t entries = tarrow_entry_count(archive);
    for (size_t i = 0; i < entries; ++i) {
        tarrow_entry e{};
        if (tarrow_entry_at(archive, i, &e) != TARROW_OK) std::abort();
        size_t produced = 0;
        if (tarrow_read(archive, i, "password", count, &produced) == TARROW_OK && produced != e.size) std::abort();
        tarrow_entry first{};
        tarrow_entry_at(archive, 0, &first);
        const bool recovered = first.flags & TARROW_ENTRY_RECOVERED;
        if (recovered != bool(e.flags & TARROW_ENTRY_RECOVERED)) std::abort();
        // The walk stops at the member the end of the archive cuts short.
        if (recovered && e.damage && i + 1 < entries &&
            std::string_view(e.damage).find("end of the archive") != std::string_view::npos)
            std::abort();
    }
    tarrow_close(archive);
    return 0;
}
