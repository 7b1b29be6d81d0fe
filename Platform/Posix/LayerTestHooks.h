// The layer's machine as tests drive it: one reset for all of it. The fault plan (FaultPlan.h),
// the open handle count (Handles.h) and each area's own hooks are beside it.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

// Restores the whole machine: the registry and the system's message table load from the current
// WINEPREFIX at their next use, services forget the states tests set, the clock is real again,
// deleted environment defaults come back, PDH answers as current releases do, and the fault plan
// holds no failure, no hook and no count. Handles still open stay valid.
void LayerResetForTests();
