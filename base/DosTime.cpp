#include "base/DosTime.h"

namespace veltrane {

std::tm DosTimeFields(uint16_t dosDate, uint16_t dosTime) {
    std::tm t{};
    t.tm_year = (dosDate >> 9) + 80;
    t.tm_mon = ((dosDate >> 5) & 0xf) - 1;
    t.tm_mday = dosDate & 0x1f;
    t.tm_hour = dosTime >> 11;
    t.tm_min = (dosTime >> 5) & 0x3f;
    t.tm_sec = (dosTime & 0x1f) * 2;
    t.tm_isdst = -1;
    return t;
}

}  // namespace veltrane
