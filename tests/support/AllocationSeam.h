// A test binary's allocations through the layer's fault plan, so that a test can refuse the k-th
// allocation of a run wherever it falls. Linking AllocationSeam.cpp replaces operator new: while
// a layer call guards its containers it asks the plan (ContainerAllocationAllowed), elsewhere it
// is glibc's malloc, uncounted, so that the harness's own containers are never refused. The
// agents' and the common runtime's blocks (Common/Allocation.h) reach the plan once the test
// routes them there.
#pragma once

#include "Common/Allocation.h"
#include "Platform/Posix/common/FaultPlan.h"

inline void RouteLibraryAllocationsToThePlan() {
    SetAllocationHook(AllocationAllowed);
}
