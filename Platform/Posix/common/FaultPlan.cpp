#include "Platform/Posix/common/FaultPlan.h"

#include "Platform/Posix/kernel32/Errors.h"

#include <atomic>

namespace {

constexpr unsigned kCallCount = static_cast<unsigned>(LayerCall::Count);
constexpr unsigned kAreaCount = static_cast<unsigned>(FaultArea::Count);
constexpr unsigned kNoCall = kCallCount;

#define PALLWICK_LAYER_CALL_NAME(name) #name,
constexpr const char* kCallNames[] = {PALLWICK_LAYER_CALLS(PALLWICK_LAYER_CALL_NAME)};
#undef PALLWICK_LAYER_CALL_NAME
static_assert(sizeof(kCallNames) / sizeof(kCallNames[0]) == kCallCount, "one name per call");

struct AreaHook {
    std::atomic<FaultAreaHook> hook{nullptr};
    std::atomic<void*> context{nullptr};
};

// All constant-initialised, so the plan holds before any static initialiser has run.
std::atomic<unsigned long long> g_calls{0};
std::atomic<unsigned long long> g_callsOf[kCallCount] = {};
std::atomic<unsigned long long> g_failAt{0}; // 0: no call
std::atomic<DWORD> g_failAtError{ERROR_SUCCESS};
std::atomic<unsigned> g_failEvery{kNoCall};
std::atomic<DWORD> g_failEveryError{ERROR_SUCCESS};
AreaHook g_areaHooks[kAreaCount];

bool InRun(LayerCall call, LayerCall first, LayerCall last) {
    return call >= first && call <= last;
}

FaultArea AreaOf(LayerCall call) {
    if (InRun(call, LayerCall::RegOpenKeyExA, LayerCall::RegEnumValueA)) {
        return FaultArea::Registry;
    }
    if (InRun(call, LayerCall::OpenSCManagerA, LayerCall::DeleteService)) {
        return FaultArea::Services;
    }
    return FaultArea::Count;
}

DWORD AreaDecision(LayerCall call, const char* name) {
    FaultArea area = AreaOf(call);
    if (area == FaultArea::Count) {
        return ERROR_SUCCESS;
    }
    AreaHook& slot = g_areaHooks[static_cast<unsigned>(area)];
    FaultAreaHook hook = slot.hook.load();
    return hook == nullptr ? ERROR_SUCCESS : hook(call, name, slot.context.load());
}

} // namespace

DWORD FaultCheck(LayerCall call, const char* name) {
    unsigned long long ordinal = ++g_calls;
    ++g_callsOf[static_cast<unsigned>(call)];
    unsigned long long failAt = g_failAt.load();
    if (failAt != 0 && ordinal == failAt && g_failAt.compare_exchange_strong(failAt, 0)) {
        return g_failAtError.load();
    }
    if (g_failEvery.load() == static_cast<unsigned>(call)) {
        return g_failEveryError.load();
    }
    return AreaDecision(call, name);
}

bool FaultAllows(LayerCall call) {
    DWORD fault = FaultCheck(call);
    if (fault != ERROR_SUCCESS) {
        SetLastError(fault);
        return false;
    }
    return true;
}

const char* LayerCallName(LayerCall call) {
    unsigned index = static_cast<unsigned>(call);
    return index < kCallCount ? kCallNames[index] : "?";
}

void FaultPlanFailNthCall(unsigned long long k, DWORD error) {
    g_failAtError.store(error);
    g_failAt.store(k == 0 ? 0 : g_calls.load() + k);
}

void FaultPlanFailEveryCall(LayerCall call, DWORD error) {
    g_failEveryError.store(error);
    g_failEvery.store(static_cast<unsigned>(call));
}

unsigned long long FaultPlanCallCount() {
    return g_calls.load();
}

unsigned long long FaultPlanCallCountOf(LayerCall call) {
    unsigned index = static_cast<unsigned>(call);
    return index < kCallCount ? g_callsOf[index].load() : 0;
}

void FaultPlanSetAreaHook(FaultArea area, FaultAreaHook hook, void* context) {
    AreaHook& slot = g_areaHooks[static_cast<unsigned>(area)];
    slot.context.store(context);
    slot.hook.store(hook);
}

void FaultPlanClear() {
    g_failAt.store(0);
    g_failEvery.store(kNoCall);
    for (AreaHook& slot : g_areaHooks) {
        slot.hook.store(nullptr);
        slot.context.store(nullptr);
    }
    for (std::atomic<unsigned long long>& count : g_callsOf) {
        count.store(0);
    }
    g_calls.store(0);
}
