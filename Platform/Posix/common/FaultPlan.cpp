#include "Platform/Posix/common/FaultPlan.h"

#include "Platform/Posix/common/WinError.h"
#include "Platform/Posix/kernel32/Errors.h"
#include "Platform/Posix/pdh/Pdh.h"

#include <errno.h>

#include <atomic>

namespace {

constexpr unsigned kCallCount = static_cast<unsigned>(LayerCall::Count);
constexpr unsigned kPosixCallCount = static_cast<unsigned>(PosixCall::Count);
constexpr unsigned kAreaCount = static_cast<unsigned>(FaultArea::Count);

struct CallRow {
    const char* name;
    FaultArea area;
    DWORD errorAtWork;
};

#define PALLWICK_CALL_ROW(name, area, error) {#name, FaultArea::area, static_cast<DWORD>(error)},
constexpr CallRow kCallRows[] = {PALLWICK_LAYER_CALLS(PALLWICK_CALL_ROW)};
#undef PALLWICK_CALL_ROW

struct AreaRow {
    const char* name;
    DWORD outOfMemory;
};

#define PALLWICK_AREA_ROW(name, outOfMemory) {#name, static_cast<DWORD>(outOfMemory)},
constexpr AreaRow kAreaRows[] = {PALLWICK_FAULT_AREAS(PALLWICK_AREA_ROW)};
#undef PALLWICK_AREA_ROW

struct PosixRow {
    const char* name;
    int errAtWork;
};

#define PALLWICK_POSIX_ROW(name, err) {#name, err},
constexpr PosixRow kPosixRows[] = {PALLWICK_POSIX_CALLS(PALLWICK_POSIX_ROW)};
#undef PALLWICK_POSIX_ROW

// What the plan holds for one table: its counts and its two kinds of planned failure. The
// failure is a Win32 error for the Win32 table, an errno for the POSIX one and ENOMEM for the
// allocations (one "call"); 0 is none. All constant-initialised, so the plan holds before any
// static initialiser has run.
template <unsigned N> struct Ledger {
    static constexpr unsigned kNone = N;

    std::atomic<unsigned long long> calls{0};
    std::atomic<unsigned long long> callsOf[N] = {};
    std::atomic<unsigned long long> failAt{0}; // 0: no call
    std::atomic<unsigned> failAtError{0};
    std::atomic<unsigned (*)(unsigned call)> failAtChooser{nullptr}; // null: failAtError
    std::atomic<bool> failLater{false}; // every call after failAt fails too
    std::atomic<unsigned> failEvery{kNone};
    std::atomic<unsigned> failEveryError{0};
    std::atomic<unsigned> lastFailed{kNone};
    std::atomic<unsigned long long> failed{0};

    // Counts the call; the failure planned for it, or 0.
    unsigned Check(unsigned call) {
        unsigned long long ordinal = ++calls;
        ++callsOf[call];
        unsigned error = Planned(call, ordinal);
        if (error != 0) {
            lastFailed.store(call);
            ++failed;
        }
        return error;
    }
    unsigned Planned(unsigned call, unsigned long long ordinal) {
        unsigned long long at = failAt.load();
        bool reached = at != 0 && (failLater.load() ? ordinal >= at : ordinal == at);
        if (reached && (failLater.load() || failAt.compare_exchange_strong(at, 0))) {
            unsigned (*choose)(unsigned) = failAtChooser.load();
            return choose != nullptr ? choose(call) : failAtError.load();
        }
        return failEvery.load() == call ? failEveryError.load() : 0;
    }
    void FailNth(unsigned long long k, unsigned error, unsigned (*choose)(unsigned) = nullptr,
                 bool andEveryLater = false) {
        failAtError.store(error);
        failAtChooser.store(choose);
        failLater.store(andEveryLater);
        failAt.store(k == 0 ? 0 : calls.load() + k);
    }
    void FailEvery(unsigned call, unsigned error) {
        failEveryError.store(error);
        failEvery.store(call);
    }
    unsigned long long CountOf(unsigned call) const { return call < N ? callsOf[call].load() : 0; }
    void Clear() {
        failAt.store(0);
        failLater.store(false);
        failEvery.store(kNone);
        for (std::atomic<unsigned long long>& count : callsOf) {
            count.store(0);
        }
        calls.store(0);
        lastFailed.store(kNone);
        failed.store(0);
    }
};

struct AreaHook {
    std::atomic<FaultAreaHook> hook{nullptr};
    std::atomic<void*> context{nullptr};
};

Ledger<kCallCount> g_layerCalls;
Ledger<kPosixCallCount> g_posixCalls;
// Allocations: every one counted; of those of at least leastBytes, the k-th failed (or every one
// from it on).
Ledger<1> g_allocations;
Ledger<1> g_sizedAllocations;
std::atomic<size_t> g_leastBytes{0};
AreaHook g_areaHooks[kAreaCount];

// How deep the calling thread is in calls that guard their containers.
thread_local unsigned t_containerScopes = 0;

DWORD AreaDecision(LayerCall call, const char* name) {
    AreaHook& slot = g_areaHooks[static_cast<unsigned>(LayerCallArea(call))];
    FaultAreaHook hook = slot.hook.load();
    return hook == nullptr ? ERROR_SUCCESS : hook(call, name, slot.context.load());
}

unsigned LayerErrorAtWork(unsigned call) {
    return LayerCallErrorAtWork(static_cast<LayerCall>(call));
}

unsigned PosixErrAtWork(unsigned call) {
    return static_cast<unsigned>(kPosixRows[call].errAtWork);
}

} // namespace

const char* FaultAreaName(FaultArea area) {
    return area < FaultArea::Count ? kAreaRows[static_cast<unsigned>(area)].name : "none";
}

const char* LayerCallName(LayerCall call) {
    return call < LayerCall::Count ? kCallRows[static_cast<unsigned>(call)].name : "none";
}

FaultArea LayerCallArea(LayerCall call) {
    return kCallRows[static_cast<unsigned>(call)].area;
}

DWORD LayerCallErrorAtWork(LayerCall call) {
    return kCallRows[static_cast<unsigned>(call)].errorAtWork;
}

DWORD LayerCallOutOfMemoryError(LayerCall call) {
    return kAreaRows[static_cast<unsigned>(LayerCallArea(call))].outOfMemory;
}

const char* PosixCallName(PosixCall call) {
    return call < PosixCall::Count ? kPosixRows[static_cast<unsigned>(call)].name : "none";
}

DWORD FaultCheck(LayerCall call, const char* name) {
    DWORD planned = g_layerCalls.Check(static_cast<unsigned>(call));
    return planned != ERROR_SUCCESS ? planned : AreaDecision(call, name);
}

bool FaultAllows(LayerCall call) {
    DWORD fault = FaultCheck(call);
    if (fault != ERROR_SUCCESS) {
        SetLastError(fault);
        return false;
    }
    return true;
}

int PosixFaultCheck(PosixCall call) {
    return static_cast<int>(g_posixCalls.Check(static_cast<unsigned>(call)));
}

bool PosixFaultAllows(PosixCall call) {
    int fault = PosixFaultCheck(call);
    if (fault != 0) {
        errno = fault;
        return false;
    }
    return true;
}

bool AllocationAllowed(size_t bytes) {
    g_allocations.Check(0);
    if (bytes >= g_leastBytes.load() && g_sizedAllocations.Check(0) != 0) {
        errno = ENOMEM;
        return false;
    }
    return true;
}

bool ContainerAllocationAllowed(size_t bytes) {
    return t_containerScopes == 0 || AllocationAllowed(bytes);
}

ContainerAllocationScope::ContainerAllocationScope() {
    ++t_containerScopes;
}

ContainerAllocationScope::~ContainerAllocationScope() {
    --t_containerScopes;
}

void FaultPlanFailNthCall(unsigned long long k, DWORD error) {
    g_layerCalls.FailNth(k, error);
}

void FaultPlanFailNthCallAtWork(unsigned long long k) {
    g_layerCalls.FailNth(k, ERROR_SUCCESS, LayerErrorAtWork);
}

void FaultPlanFailEveryCall(LayerCall call, DWORD error) {
    g_layerCalls.FailEvery(static_cast<unsigned>(call), error);
}

unsigned long long FaultPlanCallCount() {
    return g_layerCalls.calls.load();
}

unsigned long long FaultPlanCallCountOf(LayerCall call) {
    return g_layerCalls.CountOf(static_cast<unsigned>(call));
}

LayerCall FaultPlanLastFailedCall() {
    return static_cast<LayerCall>(g_layerCalls.lastFailed.load());
}

void FaultPlanFailNthPosixCall(unsigned long long k, int err) {
    g_posixCalls.FailNth(k, err > 0 ? static_cast<unsigned>(err) : 0);
}

void FaultPlanFailNthPosixCallAtWork(unsigned long long k) {
    g_posixCalls.FailNth(k, 0, PosixErrAtWork);
}

void FaultPlanFailEveryCall(PosixCall call, int err) {
    g_posixCalls.FailEvery(static_cast<unsigned>(call), err > 0 ? static_cast<unsigned>(err) : 0);
}

unsigned long long FaultPlanPosixCallCount() {
    return g_posixCalls.calls.load();
}

unsigned long long FaultPlanCallCountOf(PosixCall call) {
    return g_posixCalls.CountOf(static_cast<unsigned>(call));
}

void FaultPlanFailNthAllocation(unsigned long long k, bool andEveryLater, size_t leastBytes) {
    g_leastBytes.store(leastBytes);
    g_sizedAllocations.FailNth(k, ENOMEM, nullptr, andEveryLater);
}

unsigned long long FaultPlanAllocationCount() {
    return g_allocations.calls.load();
}

unsigned long long FaultPlanAllocationsRefused() {
    return g_sizedAllocations.failed.load();
}

void FaultPlanSetAreaHook(FaultArea area, FaultAreaHook hook, void* context) {
    AreaHook& slot = g_areaHooks[static_cast<unsigned>(area)];
    slot.context.store(context);
    slot.hook.store(hook);
}

void FaultPlanClear() {
    g_layerCalls.Clear();
    g_posixCalls.Clear();
    g_allocations.Clear();
    g_sizedAllocations.Clear();
    g_leastBytes.store(0);
    for (AreaHook& slot : g_areaHooks) {
        slot.hook.store(nullptr);
        slot.context.store(nullptr);
    }
}
