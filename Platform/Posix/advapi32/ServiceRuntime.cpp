#include "Platform/Posix/advapi32/ServiceRuntime.h"

#include "Platform/Posix/advapi32/ServiceRecords.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Constant-initialised: the manager works before any static initialiser has run.
std::mutex g_runtimeLock;
RuntimeEntry* g_runtime = nullptr;
size_t g_runtimeCount = 0;
size_t g_runtimeCapacity = 0;

} // namespace

std::mutex& RuntimeTableLock() {
    return g_runtimeLock;
}

RuntimeEntry* FindRuntimeLocked(const char* name) {
    for (size_t i = 0; i < g_runtimeCount; ++i) {
        if (CompareNames(g_runtime[i].name, name) == 0) {
            return &g_runtime[i];
        }
    }
    return nullptr;
}

RuntimeEntry* FindOrAddRuntimeLocked(const char* name) {
    RuntimeEntry* entry = FindRuntimeLocked(name);
    if (entry != nullptr) {
        return entry;
    }
    if (g_runtimeCount == g_runtimeCapacity) {
        size_t capacity = g_runtimeCapacity == 0 ? 16 : g_runtimeCapacity * 2;
        void* grown = LayerRealloc(g_runtime, capacity * sizeof(RuntimeEntry));
        if (grown == nullptr) {
            return nullptr;
        }
        g_runtime = static_cast<RuntimeEntry*>(grown);
        g_runtimeCapacity = capacity;
    }
    char* copy = LayerStrdup(name);
    if (copy == nullptr) {
        return nullptr;
    }
    g_runtime[g_runtimeCount] = {copy, SERVICE_STOPPED, 0, false};
    return &g_runtime[g_runtimeCount++];
}

void RemoveRuntimeLocked(RuntimeEntry* entry) {
    free(entry->name);
    *entry = g_runtime[--g_runtimeCount];
}

DWORD CurrentState(const char* name) {
    std::lock_guard<std::mutex> guard(g_runtimeLock);
    RuntimeEntry* entry = FindRuntimeLocked(name);
    return entry != nullptr ? entry->state : SERVICE_STOPPED;
}

BOOL ServicesSetStateForTests(LPCSTR serviceName, DWORD state) {
    ServiceRecord record;
    if (!IsValidServiceName(serviceName)) {
        return FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    DWORD error = ReadRecordByName(serviceName, &record);
    if (error != ERROR_SUCCESS) {
        return FailWith(error);
    }
    FreeRecord(&record);
    std::lock_guard<std::mutex> guard(g_runtimeLock);
    RuntimeEntry* entry = FindOrAddRuntimeLocked(serviceName);
    if (entry == nullptr) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    entry->state = state;
    return TRUE;
}

void ServicesResetForTests() {
    std::lock_guard<std::mutex> guard(g_runtimeLock);
    for (size_t i = 0; i < g_runtimeCount;) {
        if (g_runtime[i].openHandles == 0) {
            RemoveRuntimeLocked(&g_runtime[i]);
        } else {
            g_runtime[i++].state = SERVICE_STOPPED;
        }
    }
}
