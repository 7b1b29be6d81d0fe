#include "Platform/Posix/common/LayerMemory.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

void* LayerMalloc(size_t size) {
    return AllocationAllowed(size) ? malloc(size) : nullptr;
}

void* LayerCalloc(size_t count, size_t size) {
    size_t bytes = 0;
    bool fits = !__builtin_mul_overflow(count, size, &bytes);
    return AllocationAllowed(fits ? bytes : SIZE_MAX) ? calloc(count, size) : nullptr;
}

void* LayerRealloc(void* block, size_t size) {
    return AllocationAllowed(size) ? realloc(block, size) : nullptr;
}

char* LayerStrdup(const char* text) {
    return AllocationAllowed(strlen(text) + 1) ? strdup(text) : nullptr;
}

char* LayerStrndup(const char* text, size_t length) {
    return AllocationAllowed(strnlen(text, length) + 1) ? strndup(text, length) : nullptr;
}
