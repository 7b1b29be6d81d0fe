// Layer-internal entry points of PDH, for tests: the answers of Windows releases other than the
// current ones, so that callers' handling of them can run here.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

// Where releases differ, as PDH's documentation warns its callers. All false is what current
// releases do, and what the layer does until a test says otherwise.
struct PdhReleaseQuirks {
    // A buffer given with a non-zero size too small for the answer is refused as a bad argument
    // (PdhExpandCounterPathA: PDH_INVALID_ARGUMENT) or a bad path (PdhParseCounterPathA:
    // PDH_INVALID_PATH), the size left as it was given, instead of PDH_MORE_DATA with the size
    // needed. A size of zero still gets PDH_MORE_DATA and the size.
    bool shortBufferIsAnError = false;
    // An expanded list ends with its last path's NUL, without the empty string that closes it
    // (releases before Vista); the size asked for counts no closing NUL either.
    bool listsLeftUnclosed = false;
};

void PdhSetReleaseQuirksForTests(const PdhReleaseQuirks& quirks);
