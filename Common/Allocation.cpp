#include "Common/Allocation.h"

std::atomic<AllocationHook> g_allocationHook{nullptr};

void SetAllocationHook(AllocationHook hook) {
    g_allocationHook.store(hook);
}
