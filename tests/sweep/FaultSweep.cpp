// Fault simulation of every export: a clean run of its scenario counts the calls that can fail,
// then one run per k fails the k-th of them. Through the layer (Linux, whose layer has the fault
// plan) each failed call gives the error Windows would give for it, and beneath it each POSIX
// call fails with EIO; through JNI the k-th call that a JVM short of memory fails returns null
// with OutOfMemoryError pending. Every run must end without a crash, with the clean result or
// one the export gives on a failure, with every handle given back, no breach of JNI's rules and
// every log record whole.
#include "tests/sweep/SweepCases.h"

#include "tests/support/LogCapture.h"

#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>

#include <functional>

#if PALLWICK_SWEEP_LAYER
#include "Common/DiagnosticLog.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "tests/support/TestPrefix.h"
#endif

namespace {

JniStandIn* g_standIn = nullptr;

// A failure text matches a result that is it, or starts with it and a blank (a result byte
// followed by what the collection got).
bool IsFailure(const SweepCase& sweepCase, const std::string& result) {
    for (const std::string& failure : sweepCase.failures) {
        if (result == failure || result.rfind(failure + " ", 0) == 0 ||
            result.rfind(failure + "\n", 0) == 0) {
            return true;
        }
    }
    return false;
}

// One run of a case: arm just before the export's call, disarm just after it.
struct SweepRun {
    std::string result;
    std::string pendingException;
    std::vector<std::string> breaches;
};

SweepRun Play(const SweepCase& sweepCase, const std::function<void()>& arm,
              const std::function<void()>& disarm) {
    JNIEnv* env = g_standIn->env();
    SweepRun run;
    if (env->PushLocalFrame(64) != 0) {
        ADD_FAILURE() << "no local frame for the host";
        return run;
    }
    SweepSession session{*g_standIn, env, 0, ""};
    if (sweepCase.before != nullptr) {
        sweepCase.before(session);
    }
    session.pendingException.clear();
    arm();
    run.result = sweepCase.call(session);
    disarm();
    run.pendingException = session.pendingException;
    if (sweepCase.after != nullptr) {
        sweepCase.after(session);
    }
    env->PopLocalFrame(nullptr);
    run.breaches = g_standIn->TakeBreaches();
    return run;
}

class FaultSweep : public ::testing::TestWithParam<SweepCase> {
  protected:
    void SetUp() override { g_standIn->FailNthFallibleCall(0); }

    // The clean run's result, and how many calls it made that can fail.
    SweepRun CleanRun(const std::function<void()>& start,
                      const std::function<unsigned long long()>& count, unsigned long long* calls) {
        SweepRun clean = Play(GetParam(), start, [&] { *calls = count(); });
        printf("%s: %llu calls that can fail\n", GetParam().name, *calls);
        EXPECT_EQ(std::vector<std::string>{}, clean.breaches) << "clean run";
        EXPECT_EQ("", clean.pendingException) << "clean run";
        return clean;
    }

    void ExpectAllowed(const SweepRun& clean, const SweepRun& run, const std::string& where) {
        const SweepCase& sweepCase = GetParam();
        bool allowed =
            run.result == clean.result || IsFailure(sweepCase, run.result) ||
            (sweepCase.degraded != nullptr && sweepCase.degraded(clean.result, run.result));
        EXPECT_TRUE(allowed) << where << ": " << run.result << "\nclean: " << clean.result;
        EXPECT_EQ(std::vector<std::string>{}, run.breaches) << where;
    }
};

} // namespace

// Cases print by name in gtest's messages.
void PrintTo(const SweepCase& sweepCase, std::ostream* out) {
    *out << sweepCase.name;
}

namespace {

std::string CaseName(const ::testing::TestParamInfo<SweepCase>& info) {
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c) {
        name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
}

// The k-th call that can fail of a native method fails as a JVM without memory fails it: the
// export gives its failure value and leaves the exception pending.
TEST_P(FaultSweep, EveryJniCallFailingInTurn) {
    LogCapture log("fault_sweep_jni_log");
    JniStandIn& standIn = *g_standIn;
    unsigned long long calls = 0;
    SweepRun clean = CleanRun([&] { standIn.FailNthFallibleCall(0); },
                              [&] { return standIn.FallibleCallCount(); }, &calls);
    for (unsigned long long k = 1; k <= calls; ++k) {
        std::string where = "JNI call " + std::to_string(k) + " of " + std::to_string(calls);
        SweepRun run = Play(
            GetParam(), [&] { standIn.FailNthFallibleCall(k); },
            [&] { standIn.FailNthFallibleCall(0); });
        ExpectAllowed(clean, run, where);
        EXPECT_TRUE(IsFailure(GetParam(), run.result)) << where << ": " << run.result;
        EXPECT_EQ("java.lang.OutOfMemoryError", run.pendingException) << where;
    }
    log.Records(); // every record whole
}

#if PALLWICK_SWEEP_LAYER
const char* const kLayerCallNames[] = {
#define PALLWICK_SWEEP_CALL_NAME(name) #name,
    PALLWICK_LAYER_CALLS(PALLWICK_SWEEP_CALL_NAME)
#undef PALLWICK_SWEEP_CALL_NAME
};

// The call the plan failed in the last run, named in the messages.
LayerCall g_failedCall = LayerCall::Count;

DWORD WindowsErrorOf(LayerCall call);

const char* FailedCallName() {
    return g_failedCall == LayerCall::Count ? "none"
                                            : kLayerCallNames[static_cast<unsigned>(g_failedCall)];
}

DWORD WindowsError(LayerCall call) {
    g_failedCall = call;
    return WindowsErrorOf(call);
}

// What Windows answers when such a call fails on a machine at work: files are not found, keys
// refuse to open or vanish under a read, memory runs out, disks fill. Releases never fail. A key
// refused rather than not found keeps the failure apart from an answer of absence.
DWORD WindowsErrorOf(LayerCall call) {
    switch (call) {
    case LayerCall::CreateFileA:
    case LayerCall::GetFileAttributesA:
    case LayerCall::GetFileVersionInfoSizeA:
        return ERROR_FILE_NOT_FOUND;
    case LayerCall::WriteFile:
    case LayerCall::FlushFileBuffers:
        return ERROR_DISK_FULL;
    case LayerCall::ReadFile:
        return ERROR_IO_DEVICE;
    case LayerCall::LoadLibraryExA:
        return ERROR_MOD_NOT_FOUND;
    case LayerCall::FormatMessageA:
        return ERROR_MR_MID_NOT_FOUND;
    case LayerCall::LocalAlloc:
    case LayerCall::GetFileVersionInfoA:
    case LayerCall::ExpandEnvironmentStringsA:
        return ERROR_NOT_ENOUGH_MEMORY;
    case LayerCall::VerQueryValueA:
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    case LayerCall::GetEnvironmentVariableA:
        return ERROR_ENVVAR_NOT_FOUND;
    case LayerCall::RegQueryValueExA:
    case LayerCall::RegQueryInfoKeyA:
    case LayerCall::RegEnumKeyExA:
    case LayerCall::RegEnumValueA:
        return ERROR_KEY_DELETED;
    case LayerCall::ReadEventLogA:
        return ERROR_EVENTLOG_FILE_CORRUPT;
    case LayerCall::LookupAccountSidA:
        return ERROR_NONE_MAPPED;
    case LayerCall::PdhOpenQueryA:
    case LayerCall::PdhExpandCounterPathA:
    case LayerCall::PdhParseCounterPathA:
        return PDH_MEMORY_ALLOCATION_FAILURE;
    case LayerCall::PdhAddCounterA:
        return PDH_CSTATUS_NO_COUNTER;
    case LayerCall::PdhCollectQueryData:
        return PDH_NO_DATA;
    case LayerCall::PdhGetFormattedCounterValue:
        return PDH_INVALID_DATA;
    case LayerCall::PdhRemoveCounter:
    case LayerCall::PdhCloseQuery:
        return ERROR_SUCCESS;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

// Handles open other than the log's own, which a rotation replaces.
size_t HandlesOpenBesideTheLog() {
    return HandleOpenCount() - (DiagnosticLog.logFile != nullptr ? 1 : 0);
}

// The k-th call of the layer fails with the error Windows would give for it: the export gives
// the clean result, a failure or what it documents for an item it could not read, and leaves
// nothing open. A second pass rotates the log at every record that checks its size, so that the
// rotation's calls fail in turn too. (Level 0 would add a flush per record, an fsync that slows
// the sweep down many times over for a call whose failure the log ignores.)
TEST_P(FaultSweep, EveryLayerCallFailingInTurn) {
    for (uint32_t sizeLimit : {kLogDefaultSizeLimit, 1u}) {
        LogCapture log("fault_sweep_layer_log");
        log.SetThreshold(1);
        DiagnosticLog.sizeLimit = sizeLimit;
        unsigned long long calls = 0;
        size_t open = HandlesOpenBesideTheLog();
        SweepRun clean = CleanRun(FaultPlanClear, FaultPlanCallCount, &calls);
        for (unsigned long long k = 1; k <= calls; ++k) {
            std::string where = "layer call " + std::to_string(k) + " of " + std::to_string(calls) +
                                ", size limit " + std::to_string(sizeLimit);
            g_failedCall = LayerCall::Count;
            SweepRun run = Play(
                GetParam(), [&] { FaultPlanFailNthCallWith(k, WindowsError); }, FaultPlanClear);
            where += std::string(" (") + FailedCallName() + ")";
            ExpectAllowed(clean, run, where);
            EXPECT_EQ("", run.pendingException) << where;
            EXPECT_EQ(open, HandlesOpenBesideTheLog()) << where;
            EXPECT_NE(nullptr, DiagnosticLog.logFile)
                << where << ": a failed rotation closed the log";
        }
        log.Records(); // every record whole
    }
}

// Beneath the files, folders and drives, the k-th POSIX call fails with EIO, as a disk that
// fails a read or a write: the Win32 call above it fails with its mapped error, and the export
// answers as above.
TEST_P(FaultSweep, EveryPosixCallFailingInTurn) {
    LogCapture log("fault_sweep_posix_log");
    log.SetThreshold(1);
    unsigned long long calls = 0;
    size_t open = HandlesOpenBesideTheLog();
    SweepRun clean = CleanRun(FaultPlanClear, FaultPlanPosixCallCount, &calls);
    for (unsigned long long k = 1; k <= calls; ++k) {
        std::string where = "POSIX call " + std::to_string(k) + " of " + std::to_string(calls);
        SweepRun run = Play(
            GetParam(), [&] { FaultPlanFailNthPosixCall(k, EIO); }, FaultPlanClear);
        ExpectAllowed(clean, run, where);
        EXPECT_EQ("", run.pendingException) << where;
        EXPECT_EQ(open, HandlesOpenBesideTheLog()) << where;
        EXPECT_NE(nullptr, DiagnosticLog.logFile) << where << ": a failed rotation closed the log";
    }
    log.Records();
}
#endif

INSTANTIATE_TEST_SUITE_P(Exports, FaultSweep, ::testing::ValuesIn(SweepCases()), CaseName);

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#if PALLWICK_SWEEP_LAYER
    TestPrefix prefix;
#endif
    JniStandIn standIn;
    g_standIn = &standIn;
    PrepareSweepMachine();
    int status = RUN_ALL_TESTS();
    if (!ClearSweepMachine()) {
        fprintf(stderr, "some of the sweep's services or keys stay on the machine\n");
        status = 1;
    }
    g_standIn = nullptr;
    return status;
}
