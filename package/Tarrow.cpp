// The library's exports. (Interim: only the version query.)
#include "tarrow.h"

extern "C" void Tarrow_GetVersion(int16_t *major, int16_t *minor) {
    if (major) *major = 1;
    if (minor) *minor = 0;
}
