// What the registry does not hold of the services: their current states, their open handles and
// their pending deletions, kept by name under one lock; and the manager's test hooks.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/ServicesTestHooks.h"

#include <mutex>

struct RuntimeEntry {
    char* name;
    DWORD state;
    unsigned openHandles;
    bool deletePending;
};

// The lock the ...Locked functions are called under.
std::mutex& RuntimeTableLock();

RuntimeEntry* FindRuntimeLocked(const char* name);
// Null when memory runs out.
RuntimeEntry* FindOrAddRuntimeLocked(const char* name);
void RemoveRuntimeLocked(RuntimeEntry* entry);

// SERVICE_STOPPED unless a test set another state. Takes the lock itself.
DWORD CurrentState(const char* name);
