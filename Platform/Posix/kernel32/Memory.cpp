#include "Platform/Posix/kernel32/Memory.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <stdlib.h>

extern "C" {

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (!FaultAllows(LayerCall::LocalAlloc)) {
        return nullptr;
    }
    if ((uFlags & ~static_cast<UINT>(LMEM_ZEROINIT)) != 0) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // malloc(0) may answer NULL, which here would read as a failure.
    size_t size = uBytes == 0 ? 1 : uBytes;
    void* block = (uFlags & LMEM_ZEROINIT) != 0 ? LayerCalloc(1, size) : LayerMalloc(size);
    if (block == nullptr) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    return block;
}

// A release, so the fault plan never fails it: a failed release would leak, which no caller
// can mend.
HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    free(hMem);
    return nullptr;
}

} // extern "C"
