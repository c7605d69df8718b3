// The handle interface over arbitrary bytes: the archive opened from memory, every entry looked at,
// and every member read without and with a password. A read may fail, but it never hands over more
// bytes than the entry lists, and an entry always has a name.
#include "tarrow.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

struct Count {
    uint64_t bytes = 0;
};

int count(void* user, const void*, size_t size) {
    static_cast<Count*>(user)->bytes += size;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarrow_archive* archive = nullptr;
    if (tarrow_open_memory(data, size, &archive) != TARROW_OK) return 0;
    const size_t entries = tarrow_entry_count(archive);
    for (size_t i = 0; i < entries; ++i) {
        tarrow_entry e{};
        if (tarrow_entry_at(archive, i, &e) != TARROW_OK || !e.name || !*e.name) std::abort();
        for (const char* password : {static_cast<const char*>(nullptr), "password"}) {
            Count got;
            const int code = tarrow_read(archive, i, password, count, &got);
            if (got.bytes > e.size || (code == TARROW_OK && got.bytes != e.size)) std::abort();
            if (e.damage && code != TARROW_E_DAMAGED && code != TARROW_E_METHOD) std::abort();
        }
    }
    tarrow_close(archive);
    return 0;
}
