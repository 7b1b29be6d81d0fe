#include "Platform/Posix/kernel32/LocalMemory.h"

#include "Platform/Posix/common/Failures.h"

#include <stdlib.h>

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    // Windows hands out a block even for zero bytes; so does calloc, given one.
    size_t size = uBytes == 0 ? 1 : uBytes;
    void* block = (uFlags & LMEM_ZEROINIT) ? calloc(1, size) : malloc(size);
    if (block == nullptr) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    free(hMem);
    return nullptr;
}
