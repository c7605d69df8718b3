// DOS dates and times as archives store them: the one decoding of their bit fields.
#pragma once

#include <cstdint>
#include <ctime>

namespace veltrane {

// The calendar fields of a DOS date and time (seconds in steps of two), daylight saving left to the
// zone (tm_isdst -1), as mktime() reads them. Fields out of range are passed on as they are.
std::tm DosTimeFields(uint16_t dosDate, uint16_t dosTime);

}  // namespace veltrane
