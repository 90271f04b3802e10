#pragma once
// The C library here has no explicit_bzero; the property tables wipe secrets with it.
#include <stddef.h>
static inline void explicit_bzero(void* data, size_t size) {
    volatile unsigned char* byte = (volatile unsigned char*)data;
    while (size--) *byte++ = 0;
}
