/* The archive library's public C interface. */
#ifndef TARROW_H
#define TARROW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TARROW_EXPORT __attribute__((visibility("default")))

TARROW_EXPORT void Tarrow_GetVersion(int16_t *major, int16_t *minor);

#ifdef __cplusplus
}
#endif

#endif
