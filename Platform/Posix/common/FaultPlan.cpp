#include "Platform/Posix/common/FaultPlan.h"

#include "Platform/Posix/kernel32/Errors.h"

#include <errno.h>

#include <atomic>

namespace {

constexpr unsigned kCallCount = static_cast<unsigned>(LayerCall::Count);
constexpr unsigned kPosixCallCount = static_cast<unsigned>(PosixCall::Count);
constexpr unsigned kAreaCount = static_cast<unsigned>(FaultArea::Count);

// What the plan holds for one table of calls: its counts and its two kinds of planned failure.
// The failure is a Win32 error for the Win32 table and an errno for the POSIX one; 0 is none.
// All constant-initialised, so the plan holds before any static initialiser has run.
template <unsigned N> struct Ledger {
    static constexpr unsigned kNone = N;

    std::atomic<unsigned long long> calls{0};
    std::atomic<unsigned long long> callsOf[N] = {};
    std::atomic<unsigned long long> failAt{0}; // 0: no call
    std::atomic<unsigned> failAtError{0};
    std::atomic<unsigned (*)(unsigned call)> failAtChooser{nullptr}; // null: failAtError
    std::atomic<unsigned> failEvery{kNone};
    std::atomic<unsigned> failEveryError{0};

    // Counts the call; the failure planned for it, or 0.
    unsigned Check(unsigned call) {
        unsigned long long ordinal = ++calls;
        ++callsOf[call];
        unsigned long long at = failAt.load();
        if (at != 0 && ordinal == at && failAt.compare_exchange_strong(at, 0)) {
            unsigned (*choose)(unsigned) = failAtChooser.load();
            return choose != nullptr ? choose(call) : failAtError.load();
        }
        return failEvery.load() == call ? failEveryError.load() : 0;
    }
    void FailNth(unsigned long long k, unsigned error, unsigned (*choose)(unsigned) = nullptr) {
        failAtError.store(error);
        failAtChooser.store(choose);
        failAt.store(k == 0 ? 0 : calls.load() + k);
    }
    void FailEvery(unsigned call, unsigned error) {
        failEveryError.store(error);
        failEvery.store(call);
    }
    unsigned long long CountOf(unsigned call) const { return call < N ? callsOf[call].load() : 0; }
    void Clear() {
        failAt.store(0);
        failEvery.store(kNone);
        for (std::atomic<unsigned long long>& count : callsOf) {
            count.store(0);
        }
        calls.store(0);
    }
};

struct AreaHook {
    std::atomic<FaultAreaHook> hook{nullptr};
    std::atomic<void*> context{nullptr};
};

Ledger<kCallCount> g_layerCalls;
std::atomic<FaultErrorChooser> g_layerChooser{nullptr};
Ledger<kPosixCallCount> g_posixCalls;
AreaHook g_areaHooks[kAreaCount];

bool InRun(LayerCall call, LayerCall first, LayerCall last) {
    return call >= first && call <= last;
}

FaultArea AreaOf(LayerCall call) {
    if (InRun(call, LayerCall::CreateFileA, LayerCall::RemoveDirectoryA)) {
        return FaultArea::Files;
    }
    if (InRun(call, LayerCall::RegOpenKeyExA, LayerCall::RegEnumValueA)) {
        return FaultArea::Registry;
    }
    if (InRun(call, LayerCall::OpenSCManagerA, LayerCall::DeleteService)) {
        return FaultArea::Services;
    }
    if (InRun(call, LayerCall::PdhOpenQueryA, LayerCall::PdhParseCounterPathA)) {
        return FaultArea::Pdh;
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

unsigned ChooseLayerError(unsigned call) {
    FaultErrorChooser choose = g_layerChooser.load();
    return choose != nullptr ? choose(static_cast<LayerCall>(call)) : ERROR_SUCCESS;
}

} // namespace

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

void FaultPlanFailNthCall(unsigned long long k, DWORD error) {
    g_layerCalls.FailNth(k, error);
}

void FaultPlanFailNthCallWith(unsigned long long k, FaultErrorChooser choose) {
    g_layerChooser.store(choose);
    g_layerCalls.FailNth(k, ERROR_SUCCESS, ChooseLayerError);
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

void FaultPlanFailNthPosixCall(unsigned long long k, int err) {
    g_posixCalls.FailNth(k, err > 0 ? static_cast<unsigned>(err) : 0);
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

void FaultPlanSetAreaHook(FaultArea area, FaultAreaHook hook, void* context) {
    AreaHook& slot = g_areaHooks[static_cast<unsigned>(area)];
    slot.context.store(context);
    slot.hook.store(hook);
}

void FaultPlanClear() {
    g_layerCalls.Clear();
    g_posixCalls.Clear();
    for (AreaHook& slot : g_areaHooks) {
        slot.hook.store(nullptr);
        slot.context.store(nullptr);
    }
}
